def f(a, b=None):
    return a + b if b is not None else a
i = 0
s = 0
while i < 1000000:
    s = s + f(i, b=1)
    i = i + 1
