local function f(a, x, y, z)
  if x then a = a + x end
  if y then a = a + y end
  if z then a = a + z end
  return a
end
local i, s = 0, 0
while i < 300000 do s = s + f(i, 1, 2, 3) s = s + f(i, nil, 2) i = i + 1 end
