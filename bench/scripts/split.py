line = "alpha,beta,gamma,delta,epsilon"
n = 0
for i in range(1, 100001):
    n = n + len(line.split(",")) + (i % 7)
