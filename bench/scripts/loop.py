i = 0
s = 0
while i < 10000000:
    s = s + i
    i = i + 1
