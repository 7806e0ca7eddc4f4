#!/usr/bin/env python3
"""Whole processes: the command-line tool's open, cat and convert against
`cat`, `iconv` and `iconv` + `mv` on the same files, in the page cache.

    bench/whole_process.py [--build DIR] [--open-size 400MB] [--convert-size 64MB]
                           [--rounds 5] [--baseline DIR] [--out FILE.md]

The corpora come from `tf_bench --prepare-only` (english, english-utf16,
latin1). Every round runs each command of a row once, the rows' commands
interleaved, one unrecorded round first. For each command it prints the
median and the best (by wall clock) of the rounds, with the user and system
times apart and the minor page faults of the median round (from the
process's rusage), and the ratio of the peer's median wall clock to ours.
With --baseline, the tool of another build tree (an older commit, say) runs
in the same rounds as a third command of each row.
A machine shared with other jobs moves the wall clock most; user + system
is the steadier figure.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run_once(command):
    start = time.perf_counter()
    process = subprocess.Popen(["/bin/sh", "-c", command], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"whole_process: failed ({status}): {command}")
    return wall, usage.ru_utime, usage.ru_stime, usage.ru_minflt


def measure(commands, rounds):
    for _, command in commands:
        run_once(command)
    samples = {label: [] for label, _ in commands}
    for _ in range(rounds):
        for label, command in commands:
            samples[label].append(run_once(command))
    return samples


def summary(runs):
    by_wall = sorted(runs)
    median = by_wall[len(by_wall) // 2]
    return median, by_wall[0], statistics.median(r[0] for r in runs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build/bench")
    parser.add_argument("--open-size", default="400MB")
    parser.add_argument("--convert-size", default="64MB")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--dir", default="build/bench-data")
    parser.add_argument("--baseline", help="build tree of a tool timed in the same rounds")
    parser.add_argument("--out")
    args = parser.parse_args()

    tool = os.path.join(args.build, "tools", "quobrix-textfile")
    bench = os.path.join(args.build, "bench", "tf_bench")
    iconv = shutil.which("iconv")
    if iconv is None:
        sys.exit("whole_process: iconv is not installed")

    def corpora(size):
        folder = os.path.join(args.dir, "whole-" + size)
        os.makedirs(folder, exist_ok=True)
        lines = subprocess.run([bench, "--size", size, "--dir", folder, "--prepare-only"],
                               check=True, capture_output=True, text=True).stdout
        return {name: path for name, path, _ in (l.split() for l in lines.splitlines())}

    big = corpora(args.open_size)
    small = corpora(args.convert_size)
    scratch = tempfile.mkdtemp()
    ours_out = os.path.join(scratch, "ours.txt")
    theirs = os.path.join(scratch, "theirs.txt")
    rows = [
        (f"open UTF-8 (linecol at 0), english {args.open_size}",
         [("quobrix-textfile linecol FILE 0", f"{tool} linecol {big['english']} 0"),
          ("cat > /dev/null", f"cat {big['english']}")]),
        (f"open UTF-16LE (linecol at 0), english-utf16 {args.open_size}",
         [("quobrix-textfile linecol FILE 0", f"{tool} linecol {big['english-utf16']} 0"),
          ("iconv -f UTF-16LE -t UTF-8 > /dev/null",
           f"{iconv} -f UTF-16LE -t UTF-8 {big['english-utf16']}")]),
    ]
    for corpus, charset in (("english-utf16", "UTF-16LE"), ("latin1", "ISO-8859-1")):
        path = small[corpus]
        rows.append((f"cat {charset} as UTF-8, {corpus} {args.convert_size}",
                     [("quobrix-textfile cat", f"{tool} cat {path}"),
                      (f"iconv -f {charset} -t UTF-8", f"{iconv} -f {charset} -t UTF-8 {path}")]))
        rows.append((f"convert {charset} to UTF-8 into a new file, {corpus} {args.convert_size}",
                     [("quobrix-textfile convert --to utf8 -o",
                       f"{tool} convert --to utf8 -o {ours_out} {path}"),
                      (f"iconv -f {charset} -t UTF-8 > tmp && mv",
                       f"{iconv} -f {charset} -t UTF-8 {path} > {theirs}.tmp"
                       f" && mv {theirs}.tmp {theirs}")]))

    if args.baseline:
        before = os.path.join(args.baseline, "tools", "quobrix-textfile")
        for _, commands in rows:
            label, command = commands[0]
            commands.append((label + " (baseline)",
                             command.replace(tool, before, 1)))

    report = ["| row | command | median wall s | user | sys | minor faults | best wall s"
              " | user | sys | peer / ours (median wall) |",
              "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    try:
        for title, commands in rows:
            print(f"== {title}", file=sys.stderr)
            samples = measure(commands, args.rounds)
            ours = summary(samples[commands[0][0]])[2]
            for label, _ in commands:
                median, best, wall = summary(samples[label])
                ratio = "" if label == commands[0][0] else f"{wall / ours:.2f}x"
                report.append(
                    f"| {title} | {label} | {median[0]:.3f} | {median[1]:.3f} | {median[2]:.3f}"
                    f" | {median[3]} | {best[0]:.3f} | {best[1]:.3f} | {best[2]:.3f} | {ratio} |")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    text = "\n".join(report) + "\n"
    if args.out:
        with open(args.out, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
