#!/usr/bin/env python3
"""Four threads each opening its own file with the Python package, against the
same four opens one after another; then four threads each saving an open
document to a file of its own (write, fsync, rename) against the same four
saves one after another (wall clock, medians).

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


def save_sequential(docs, paths):
    for doc, path in zip(docs, paths):
        doc.save(path, "utf8")


def save_threaded(docs, paths):
    threads = [threading.Thread(target=d.save, args=(p, "utf8")) for d, p in zip(docs, paths)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def measure(reps, ways, *args):
    times = {way: [] for way in ways}
    for rep in range(reps + 1):
        for way in ways:
            start = time.perf_counter()
            way(*args)
            if rep > 0:  # the first round only warms up
                times[way].append((time.perf_counter() - start) * 1000)
    return [statistics.median(times[way]) for way in ways]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size-mb", type=int, default=100)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--dir", default=os.path.join(tempfile.gettempdir(), "tf-bench-python"))
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    size = args.size_mb * 1000 * 1000
    print("| Calls | one after another ms | four threads ms | speed-up |")
    print("|---|---|---|---|")
    for encoding in ("utf8", "utf16le"):
        paths = make_files(args.dir, size, encoding)
        seq, par = measure(args.reps, (sequential, threaded), paths)
        print("| open 4 x %d MB %s | %.1f | %.1f | %.2fx |" % (args.size_mb, encoding, seq, par, seq / par))
    small = size // 10
    docs = [qt.open(p) for p in make_files(args.dir, small, "utf8")]
    targets = [os.path.join(args.dir, "saved-%d.txt" % i) for i in range(4)]
    seq, par = measure(args.reps, (save_sequential, save_threaded), docs, targets)
    print("| save 4 x %d MB utf8 | %.1f | %.1f | %.2fx |" % (small // 1000000, seq, par, seq / par))
    for doc in docs:
        doc.close()


if __name__ == "__main__":
    main()
