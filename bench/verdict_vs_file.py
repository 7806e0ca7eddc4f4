#!/usr/bin/env python3
"""The tool's binary verdict (info's "verdict") against `file --mime-encoding`
on real trees: a confusion matrix, then the disagreements by file extension,
with examples, for reading by hand.

    python3 bench/verdict_vs_file.py build/release/tools/quobrix-textfile \\
        /usr/share/doc /usr/share/i18n /usr/lib/python3.11 /usr/share/locale

`file` calls a file binary when its mime encoding is "binary"; every other
encoding (us-ascii, utf-8, iso-8859-1, unknown-8bit, utf-16le...) is text.
The tool's verdicts are "text", "binary", "utf16le-no-bom" and
"utf16be". Files the library refuses (too large, unreadable) and
symbolic links are skipped. Not part of the test suite."""

import collections
import json
import os
import subprocess
import sys

BATCH = 400


def files_under(roots):
    for root in roots:
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                if os.path.isfile(path) and not os.path.islink(path):
                    yield path


def tool_verdicts(tool, paths):
    out = {}
    for i in range(0, len(paths), BATCH):
        run = subprocess.run([tool, "info", "--"] + paths[i:i + BATCH], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        for line in run.stdout.splitlines():
            item = json.loads(line)
            out[item["path"]] = item["verdict"]
    return out


def file_encodings(paths):
    out = {}
    for i in range(0, len(paths), BATCH):
        run = subprocess.run(["file", "-N", "--mime-encoding", "-F", "\x01", "--"] +
                             paths[i:i + BATCH], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        for line in run.stdout.decode("utf-8", "surrogateescape").splitlines():
            path, _, encoding = line.partition("\x01")
            out[path] = encoding.strip()
    return out


def main():
    tool, roots = sys.argv[1], sys.argv[2:]
    paths = sorted(files_under(roots))
    mine = tool_verdicts(tool, paths)
    theirs = file_encodings(paths)
    matrix = collections.Counter()
    disagree = collections.defaultdict(list)
    for path in paths:
        if path not in mine or path not in theirs:
            continue
        verdict = mine[path]
        other = "binary" if theirs[path] == "binary" else "text"
        matrix[(verdict, other)] += 1
        if (verdict == "text") != (other == "text"):
            ext = os.path.splitext(path)[1] or os.path.basename(path)
            disagree[(verdict, theirs[path], ext)].append(path)
    total = sum(matrix.values())
    print("files compared: %d (of %d found)" % (total, len(paths)))
    print("%-16s %10s %10s" % ("tool \\ file", "text", "binary"))
    for verdict in ("text", "binary", "utf16le-no-bom", "utf16be"):
        print("%-16s %10d %10d" % (verdict, matrix[(verdict, "text")],
                                    matrix[(verdict, "binary")]))
    print("\ndisagreements (tool verdict, file's encoding, extension): count, examples")
    for key, items in sorted(disagree.items(), key=lambda kv: -len(kv[1])):
        print("  %-50s %5d  %s" % ("%s / %s / %s" % key, len(items), " ".join(items[:3])))


if __name__ == "__main__":
    main()
