class Counter:
    def __init__(self):
        self.n = 0
        self.step = 2
    def bump(self, k):
        self.n = self.n + k
        return self.n
counter = Counter()
i = 0
while i < 1000000:
    counter.bump(counter.step)
    i = i + 1
