local counter = {n = 0, step = 2}
function counter:bump(k) self.n = self.n + k return self.n end
local i = 0
while i < 1000000 do counter:bump(counter.step) i = i + 1 end
