import json
import time


def ms(f):
    start = time.perf_counter()
    result = f()
    return result, int((time.perf_counter() - start) * 1000)


with open("data.json", encoding="utf-8") as f:
    text = f.read()
data, t = ms(lambda: json.loads(text))
print("load-json", t)
out, t = ms(lambda: json.dumps(data, ensure_ascii=False, separators=(",", ":")))
print("to-json", t)
_, t = ms(lambda: json.dumps(data, ensure_ascii=False, indent=" "))
print("to-json/pretty", t)
print("records", len(data), "characters written", len(out))
