local function f(a, b) if b then return a + b end return a end
local i, s = 0, 0
while i < 1000000 do s = s + f(i, 1) i = i + 1 end
