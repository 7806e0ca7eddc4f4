#!/usr/bin/env python3
"""Four threads each opening its own file with the Python package, against the
same four opens one after another (wall clock, medians).

    PYTHONPATH=bindings/python QUOBRIX_TEXTFILE_LIBRARY=... \\
        python3 bench/bench_python_threads.py [--size-mb 100] [--reps 5] [--dir DIR]
"""

import argparse
import os
import statistics
import tempfile
import threading
import time

import quobrix_textfile as qt

SENTENCE = "The library reads the whole file once and answers every query from memory.\n"


def make_files(directory, size, encoding):
    paths = []
    body = (SENTENCE * (size // len(SENTENCE) + 1))[: size // (2 if encoding == "utf16le" else 1)]
    for i in range(4):
        path = os.path.join(directory, "threads-%s-%d-%d.txt" % (encoding, i, size))
        if not os.path.exists(path):
            data = chr(0x41 + i) + body[1:]
            with open(path, "wb") as f:
                f.write(b"\xff\xfe" + data.encode("utf-16-le") if encoding == "utf16le" else data.encode())
        paths.append(path)
    return paths


def sequential(paths):
    for path in paths:
        qt.open(path).close()


def threaded(paths):
    threads = [threading.Thread(target=lambda p=p: qt.open(p).close()) for p in paths]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-mb", type=int, default=100)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--dir", default=os.path.join(tempfile.gettempdir(), "tf-bench-python"))
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    size = args.size_mb * 1000 * 1000
    print("| Files | one after another ms | four threads ms | speed-up |")
    print("|---|---|---|---|")
    for encoding in ("utf8", "utf16le"):
        paths = make_files(args.dir, size, encoding)
        times = {sequential: [], threaded: []}
        for rep in range(args.reps + 1):
            for way in (sequential, threaded):
                start = time.perf_counter()
                way(paths)
                if rep > 0:  # the first round only warms up
                    times[way].append((time.perf_counter() - start) * 1000)
        seq, par = statistics.median(times[sequential]), statistics.median(times[threaded])
        print("| 4 x %d MB %s | %.1f | %.1f | %.2fx |" % (args.size_mb, encoding, seq, par, seq / par))


if __name__ == "__main__":
    main()
