parts = []
for i in range(1, 300001):
    parts.append(str(i))
    parts.append(" ")
s = "".join(parts)
