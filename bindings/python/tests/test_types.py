"""The type hints flag a misspelt encoding, key or unit, and only those:
mypy (Debian's, when installed) on a copy of the package under test."""

import os
import shutil
import subprocess
import unittest

import quobrix_textfile as qt
from textfile_test_support import TempDirTestCase

MYPY = shutil.which("mypy")
SNIPPET = [  # (line, flagged)
    ("import quobrix_textfile as qt", False),
    ('with qt.open("a.txt") as doc:', False),
    ('    doc.save("b.txt", "utf8-bom")', False),
    ('    kind: str = doc.info()["encoding"]', False),
    ('    print([h["char_offset"] for h in doc.search("x")["hits"]], doc.text(0, 9, "chars"))', False),
    ('    qt.save_text("x", "c.txt", "utf16le")', False),
    ('    doc.save("b.txt", "UTF-8")', True),
    ('    doc.info()["encodingz"]', True),
    ('    doc.linecol(3)["column"]', True),
    ('    doc.text(0, 10, unit="codepoints")', True),
]


@unittest.skipUnless(MYPY, "mypy is not installed")
class TypesTest(TempDirTestCase):
    def test_only_the_misspellings_are_flagged(self):
        # mypy takes no site-packages folder on MYPYPATH, where an installed
        # wheel's tests find the package.
        shutil.copytree(os.path.dirname(qt.__file__), self.path("stubs/quobrix_textfile"))
        path = self.write("snippet.py", "\n".join(line for line, _ in SNIPPET).encode() + b"\n")
        run = subprocess.run([MYPY, "--no-incremental", "--cache-dir", os.devnull, path],
                             env=dict(os.environ, MYPYPATH=self.path("stubs")),
                             capture_output=True, text=True, timeout=300)
        flagged = {int(line.split(":")[1]) for line in run.stdout.splitlines() if ": error:" in line}
        self.assertEqual(flagged, {n for n, (_, bad) in enumerate(SNIPPET, 1) if bad}, run.stdout)


if __name__ == "__main__":
    unittest.main()
