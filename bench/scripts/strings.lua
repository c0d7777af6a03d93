local parts = {}
for i = 1, 300000 do parts[#parts + 1] = tostring(i) parts[#parts + 1] = " " end
local s = table.concat(parts)
