#!/usr/bin/env python3
"""The duplicate finder against pandas' DataFrame.duplicated() on the same million rows of three
text columns (one row in ten repeats an earlier one). Both are timed on data already in memory,
median of three runs. Needs python3-pandas; says so and exits 0 when it is missing.

usage: bench/finder_vs_pandas.py [BUILD_DIR]   (default: build)
"""
import os
import random
import subprocess
import sys
import tempfile
import time

try:
    import pandas as pd
except ImportError:
    print("pandas is not installed (Debian: apt-get install python3-pandas); nothing compared")
    sys.exit(0)

build = sys.argv[1] if len(sys.argv) > 1 else "build"
finder = os.path.join(build, "bench", "finder_file_bench")
rows = 1_000_000
random.seed(1)
ids = []
for i in range(rows):
    ids.append(random.randrange(i) if i and random.random() < 0.1 else i)
frame = pd.DataFrame({
    "name": [f"customer {i}" for i in ids],
    "city": [f"city {i % 977}" for i in ids],
    "code": [str(i * 7) for i in ids],
})

with tempfile.NamedTemporaryFile("w", suffix=".tsv", delete=False) as f:
    frame.to_csv(f, sep="\t", header=False, index=False)
    path = f.name
try:
    out = subprocess.run([finder, path], check=True, capture_output=True, text=True).stdout.split()
finally:
    os.unlink(path)
finder_s, finder_repeats = float(out[0]), int(out[1])

times = []
for _ in range(3):
    t0 = time.perf_counter()
    pandas_repeats = int(frame.duplicated().sum())
    times.append(time.perf_counter() - t0)
pandas_s = sorted(times)[1]

print(f"rows {rows}: finder {finder_s:.3f} s ({finder_repeats} repeats), "
      f"pandas {pandas_s:.3f} s ({pandas_repeats} repeats), ratio {finder_s / pandas_s:.2f}")
if finder_repeats != pandas_repeats:
    sys.exit("the two found different numbers of repeats")
