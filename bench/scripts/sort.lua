local t = {}
for i = 1, 1000000 do t[i] = math.random(1000000000) end
table.sort(t)
