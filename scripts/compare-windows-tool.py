#!/usr/bin/env python3
"""Runs the Windows tool (under wine) and the Linux tool on the same few
hundred generated files and requires byte-identical answers: the exit
status and stdout of detect, info, stats, search, replace and cat, stderr
(line ends aside: Windows writes errors in text mode) and the bytes convert
writes in each encoding.

Usage: compare-windows-tool.py LINUX_TOOL WINDOWS_TOOL WORK_DIR [COUNT]
The environment must let wine run the Windows tool (WINEPREFIX and so on);
a persistent wineserver keeps it fast.
"""
import os
import random
import shutil
import subprocess
import sys

WINE = os.environ.get("TF_WINE", "/usr/lib/wine/wine64")


def text_pieces(rng):
    words = ["alpha", "beta", "an", "a", "the", "Ab", "xyz", "  ", "\t", "caf\u00e9",
             "\u4e2d\u6587", "\U0001F600", "na\u00efve", "\u00a0", "end", "\u0000"]
    breaks = ["\n", "\r\n", "\r"]
    style = rng.choice(["lf", "crlf", "cr", "mixed", "none"])
    out = []
    for _ in range(rng.randint(0, 60)):
        out.append(rng.choice(words))
        r = rng.random()
        if r < 0.2 and style != "none":
            out.append(rng.choice(breaks) if style == "mixed"
                       else {"lf": "\n", "crlf": "\r\n", "cr": "\r"}[style])
        elif r < 0.7:
            out.append(" ")
    return "".join(out)


def make_file(rng, i):
    kind = rng.choice(["utf8", "utf8", "utf8-bom", "utf16le", "ansi", "broken-utf8",
                       "broken-utf16", "bytes", "empty"])
    text = text_pieces(rng)
    if kind == "utf8":
        return text.encode("utf-8")
    if kind == "utf8-bom":
        return b"\xef\xbb\xbf" + text.encode("utf-8")
    if kind == "utf16le":
        return b"\xff\xfe" + text.encode("utf-16-le")
    if kind == "ansi":
        return text.encode("latin-1", "replace") + bytes([0xE9, 0x80, 0xFF])
    if kind == "broken-utf8":
        raw = bytearray(text.encode("utf-8"))
        for _ in range(3):
            raw.insert(rng.randint(0, len(raw)), rng.choice([0x80, 0xC3, 0xE2, 0xF0, 0xFF]))
        return (b"\xef\xbb\xbf" if rng.random() < 0.5 else b"") + bytes(raw)
    if kind == "broken-utf16":
        raw = bytearray(b"\xff\xfe" + text.encode("utf-16-le"))
        raw += rng.choice([b"\x00\xd8", b"\x00\xdc", b"\x41"])  # lone surrogates, odd length
        return bytes(raw)
    if kind == "bytes":
        return bytes(rng.randrange(256) for _ in range(rng.randint(1, 300)))
    return b""


def run(argv, cwd, stdin=None):
    result = subprocess.run(argv, cwd=cwd, input=stdin,
                            stdin=subprocess.DEVNULL if stdin is None else None,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    return result.returncode, result.stdout, result.stderr.replace(b"\r\n", b"\n")


def content(path):
    """The bytes of a file, None when there is none."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def main():
    linux_tool, windows_tool, work = (os.path.abspath(a) for a in sys.argv[1:4])
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 300
    # Wine's first program starts its background services; started here with
    # no pipe of ours to inherit, they cannot hold a comparison's output open.
    subprocess.run([WINE, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    rng = random.Random(20261209)
    shutil.rmtree(work, ignore_errors=True)
    corpus = os.path.join(work, "corpus")
    os.makedirs(corpus)
    names = []
    for i in range(count):
        name = "f%03d.txt" % i
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(make_file(rng, i))
        names.append(name)
    os.makedirs(os.path.join(corpus, "a-directory"))
    failures = []
    runs = 0

    retried = []

    def compare(label, args, cwd=corpus, linux_cwd=None, windows_cwd=None, stdin=None):
        nonlocal runs
        runs += 1
        want = run([linux_tool] + args, linux_cwd or cwd, stdin)
        got = run([WINE, windows_tool] + args, windows_cwd or cwd, stdin)
        # The tool never fails without a word on stderr; wine itself, now and
        # then, fails to start a program that way. Such a run is repeated
        # once, and counted below.
        if got[0] != 0 and got[1:] == (b"", b"") and want != got:
            retried.append(label)
            got = run([WINE, windows_tool] + args, windows_cwd or cwd, stdin)
        if want != got:
            failures.append((label, args[:4], want, got))

    odd = ["missing.txt", "a-directory"]
    for command in ["detect", "info", "stats", "cat"]:
        for start in range(0, count, 100):
            compare(command, [command] + names[start:start + 100] + odd)
    compare("info --pretty", ["info", "--pretty"] + names[:20])
    compare("cat --page-bytes", ["cat", "--page-bytes", "7"] + names[:50])
    queries = ["a", "an", "e", "  ", "xyz", "\t", "Ab"]
    for i, name in enumerate(names[: min(count, 60)]):
        query = queries[i % len(queries)]
        compare("search", ["search", name, query])
        compare("search -i --lines", ["search", "-i", "--lines", name, query])
        compare("replace", ["replace", "-i", name, query, "<%s>" % query])
    conversions = [[encoding] + lossy for encoding in ["utf8", "utf8-bom", "utf16le"]
                   for lossy in ([], ["--lossy"])]
    for conversion in conversions:
        encoding = "".join(conversion)
        sides = {}
        for side in ["linux", "windows"]:
            copy = os.path.join(work, "%s-%s" % (side, encoding))
            shutil.copytree(corpus, copy)
            sides[side] = copy
        compare("convert " + encoding, ["convert", "--to"] + conversion + names,
                linux_cwd=sides["linux"], windows_cwd=sides["windows"])
        for name in names:
            with open(os.path.join(sides["linux"], name), "rb") as a, \
                    open(os.path.join(sides["windows"], name), "rb") as b:
                if a.read() != b.read():
                    failures.append(("convert bytes " + encoding, [name], b"", b""))
            if os.path.exists(os.path.join(sides["windows"], name + ".tmp")):
                failures.append(("convert left a temporary file", [name], b"", b""))

    # Non-ASCII arguments: the query and the replacement reach the Windows
    # tool in UTF-8 (from the wide command line), like the text they are
    # matched against; a name that the ANSI code page (1252 under wine)
    # cannot express is reached through its short name, and the output names
    # every file as the Linux tool does.
    names = os.path.join(work, "names")
    notes = "un caf\u00e9 noir, un th\u00e9 vert\nna\u00efve \u4e2d\u6587 CAF\u00e9\n".encode()
    sub = "\u76ee\u5f55"  # a directory outside the code page
    os.makedirs(os.path.join(names, sub))
    for name in ["caf\u00e9.txt", "\u65e5\u672c.txt", sub + "/a.txt"]:
        with open(os.path.join(names, name), "wb") as f:
            f.write(notes)
    for args in (["search", "caf\u00e9.txt", "caf\u00e9"],
                 ["search", "-i", "--lines", "\u65e5\u672c.txt", "caf\u00e9"],
                 ["replace", "caf\u00e9.txt", "caf\u00e9", "th\u00e9 \U0001F375"],
                 ["replace", "-i", sub + "/a.txt", "\u4e2d\u6587", "\u65e5\u672c\u8a9e"],
                 ["detect", "caf\u00e9.txt", "\u65e5\u672c.txt", sub + "/a.txt",
                  "\u7f3a.txt"],
                 ["info", "caf\u00e9.txt", "\u65e5\u672c.txt"],
                 ["cat", sub + "/a.txt"]):
        compare("non-ASCII " + args[0], args, cwd=names)
    compare("stdin", ["search", "--lines", "-", "th\u00e9"], stdin=notes)
    compare("stdin", ["stats", "/dev/stdin"], stdin=notes)
    sides = {}
    for side in ["linux", "windows"]:
        sides[side] = os.path.join(work, "names-" + side)
        shutil.copytree(names, sides[side])
    compare("convert non-ASCII", ["convert", "--to", "UTF-16LE", "caf\u00e9.txt"],
            linux_cwd=sides["linux"], windows_cwd=sides["windows"])
    compare("convert -o non-ASCII directory",
            ["convert", "--to", "utf-8-bom", sub + "/a.txt", "-o", sub + "/b.txt"],
            linux_cwd=sides["linux"], windows_cwd=sides["windows"])
    for name in ["caf\u00e9.txt", sub + "/b.txt"]:
        if content(os.path.join(sides["linux"], name)) != \
                content(os.path.join(sides["windows"], name)):
            failures.append(("convert bytes non-ASCII", [name], b"", b""))
    # Saving through the short name would rename the file: Windows refuses.
    runs += 1
    in_place = ["convert", "--to", "utf8-bom", "\u65e5\u672c.txt"]
    got = run([WINE, windows_tool] + in_place, sides["windows"])
    want = (1, b"", ("quobrix-textfile: \u65e5\u672c.txt: the name has characters that the "
                     "ANSI code page (1252) cannot express, and the library writes paths in "
                     "that code page (its short name would rename the file)\n").encode())
    if got != want or content(os.path.join(sides["windows"], "\u65e5\u672c.txt")) != notes:
        failures.append(("convert in place, a name outside the code page", in_place, want, got))

    for label, args, want, got in failures[:10]:
        print("DIFFERENT: %s %r\n  linux:   %r\n  windows: %r" % (label, args, want, got))
    print("compare-windows-tool: %d files, %d runs of each tool" % (count, runs))
    if retried:
        print("compare-windows-tool: %d silent wine failures repeated once: %s"
              % (len(retried), ", ".join(retried)))
    print("%d passed, %d failed" % (runs + len(conversions) * count - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
