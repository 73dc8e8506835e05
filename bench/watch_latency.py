#!/usr/bin/env python3
"""Latency of a change-triggered sync: from a file's close in ORG to its new content in TGT.

    watch_latency.py ORG TGT ROUNDS RESULT.json [GAP_SECONDS]

Changes one file per round (a different folder each time, new content of a new length), then
polls the target copy every millisecond until it holds that content. The watcher (ours or a
peer) must already run and be in step. Writes the rounds' times as a hyperfine-shaped JSON, so
bench/run.sh's table reads its median, and prints them.
"""
import json
import os
import statistics
import sys
import time

org, tgt, rounds, result = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
gap = float(sys.argv[5]) if len(sys.argv) > 5 else 3.0
folders = sorted(d for d in os.listdir(org) if os.path.isdir(os.path.join(org, d)))
times = []
for r in range(rounds):
    folder = folders[(r * 37) % len(folders)]
    name = sorted(os.listdir(os.path.join(org, folder)))[0]
    content = (f"round {r} {time.time()}\n" * (r + 2)).encode()
    source = os.path.join(org, folder, name)
    target = os.path.join(tgt, folder, name)
    with open(source, "wb") as out:
        out.write(content)
    start = time.monotonic()  # the close above is the start
    deadline = start + 60
    while True:
        try:
            with open(target, "rb") as copy:
                if copy.read() == content:
                    break
        except OSError:
            pass
        if time.monotonic() > deadline:
            sys.exit(f"no copy of {source} after 60 s")
        time.sleep(0.001)
    times.append(time.monotonic() - start)
    time.sleep(gap)
json.dump({"results": [{"median": statistics.median(times), "times": times}]}, open(result, "w"))
print(" ".join(f"{t * 1000:.0f}" for t in times), "ms")
