#!/usr/bin/env python3
"""Runs the x86-64 tool and the aarch64 tool (under qemu) on generated files
and requires byte-identical answers: detect, info, stats, search (plain,
folded, --lines), replace, cat and convert (the converted files compared
too). Usage: compare-aarch64-tool.py NATIVE_TOOL AARCH64_TOOL [COUNT]"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

QEMU = ["qemu-aarch64", "-L", "/usr/aarch64-linux-gnu"]
WORDS = ["the", "The", "THE", "caf\u00e9", "na\u00efve", "\u65e5\u672c", "\U0001F600", "x_1",
         "line", "\u00fcber", "a", "ab"]


def make(rng, k):
    kind = k % 6
    text = " ".join(rng.choice(WORDS) for _ in range(rng.randrange(0, 400)))
    breaks = ["\n", "\r\n", "\r"]
    text = "".join(ch if ch != " " or rng.random() > 0.1 else rng.choice(breaks)
                   for ch in text)
    if kind == 0:
        data = text.encode()
    elif kind == 1:
        data = b"\xef\xbb\xbf" + text.encode()
    elif kind == 2:
        data = b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass")
    elif kind == 3:
        data = text.encode("latin-1", "replace")
    else:
        data = bytearray(text.encode())
        for _ in range(rng.randrange(1, 6)):  # flips make ansi or sanitized text
            if data:
                data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
        data = (b"\xef\xbb\xbf" if kind == 5 else b"") + bytes(data)
    if kind == 2 and rng.random() < 0.3:
        data += b"\x3d\xd8"  # a lone high surrogate
    return data


def run(tool, args, cwd):
    p = subprocess.run(tool + args, cwd=cwd, capture_output=True)
    return p.returncode, p.stdout, p.stderr.replace(tool[-1].encode(), b"TOOL")


def main():
    native, arm = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 300
    rng = random.Random(20261209)
    work = tempfile.mkdtemp(prefix="tf-compare-")
    failures = 0
    try:
        for side in ("n", "a"):
            os.mkdir(os.path.join(work, side))
        names = []
        for k in range(count):
            data = make(rng, k)
            name = "f%03d.txt" % k
            for side in ("n", "a"):
                with open(os.path.join(work, side, name), "wb") as f:
                    f.write(data)
            names.append(name)
        commands = [["detect"] + names[:50], ["info"] + names[:50], ["stats"] + names[:50]]
        for name in names:
            q = rng.choice(WORDS)
            commands += [["stats", name], ["search", name, q], ["search", "-i", name, q],
                         ["search", "--lines", name, q], ["replace", name, q, "\u00e9t\u00e9"],
                         ["cat", name]]
        # Sanitized files are converted too where the tool has --lossy.
        helptext = run([native], ["convert", "--help"], work)[1] + \
            run([native], ["convert", "--help"], work)[2]
        lossy = ["--lossy"] if b"--lossy" in helptext else []
        for i, name in enumerate(names[:100]):
            commands.append(["convert", "--to", ("utf8", "utf8-bom", "utf16le")[i % 3]] + lossy +
                            [name])
        for args in commands:
            got_n = run([native], args, os.path.join(work, "n"))
            got_a = run(QEMU + [arm], args, os.path.join(work, "a"))
            if got_n != got_a:
                failures += 1
                print("DIFFERENT:", " ".join(args), got_n[0], got_a[0])
        for name in names:
            with open(os.path.join(work, "n", name), "rb") as f1, \
                    open(os.path.join(work, "a", name), "rb") as f2:
                if f1.read() != f2.read():
                    failures += 1
                    print("DIFFERENT converted bytes:", name)
        print("compared %d commands on %d files: %d differences" % (len(commands), count, failures))
    finally:
        shutil.rmtree(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
