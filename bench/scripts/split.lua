local line = "alpha,beta,gamma,delta,epsilon"
local n = 0
for i = 1, 100000 do
  local parts = {}
  for field in string.gmatch(line, "([^,]*)") do parts[#parts + 1] = field end
  n = n + #parts + math.fmod(i, 7)
end
