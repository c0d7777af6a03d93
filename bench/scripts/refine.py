def f(a, x=None, y=None, z=None):
    if x is not None:
        a = a + x
    if y is not None:
        a = a + y
    if z is not None:
        a = a + z
    return a
i = 0
s = 0
while i < 300000:
    s = s + f(i, x=1, y=2, z=3)
    s = s + f(i, y=2)
    i = i + 1
