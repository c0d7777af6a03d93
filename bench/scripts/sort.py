import random
b = [random.randint(1, 1000000000) for _ in range(1000000)]
b.sort()
