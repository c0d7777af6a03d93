m = {}
for i in range(1, 200001):
    m[str(i)] = i
s = 0
for i in range(1, 200001):
    s = s + m[str(i)]
