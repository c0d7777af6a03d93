import re
chunk = "".join(f"row{i},alpha,{i},beta,gamma,{i}\n" for i in range(1, 1001))
text = chunk * 160
fields = re.findall(r"([^,\n]*)[,\n]", text)
