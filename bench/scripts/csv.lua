local parts = {}
for i = 1, 1000 do parts[#parts + 1] = "row" .. i .. ",alpha," .. i .. ",beta,gamma," .. i .. "\n" end
local text = string.rep(table.concat(parts), 160)
local fields = {}
for f in string.gmatch(text, "([^,\n]*)[,\n]") do fields[#fields + 1] = f end
