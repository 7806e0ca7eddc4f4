"""The package's type hints catch what they promise to: a misspelt encoding
and a misspelt key are errors for mypy (Debian's, when it is installed)."""

import os
import shutil
import subprocess
import unittest

import quobrix_textfile as qt
from textfile_test_support import TempDirTestCase

MYPY = shutil.which("mypy")
GOOD = '''
import quobrix_textfile as qt
with qt.open("a.txt") as doc:
    doc.save("b.txt", "utf8-bom")
    kind: str = doc.info()["encoding"]
    hits = [h["char_offset"] for h in doc.search("x")["hits"]]
    qt.save_text("x", "c.txt", "utf16le")
'''
BAD = {  # line -> what mypy must flag there
    4: 'doc.save("b.txt", "UTF-8")',
    5: 'doc.info()["encodingz"]',
    6: 'doc.linecol(3)["column"]',
    7: 'doc.text(0, 10, unit="codepoints")',
}


@unittest.skipUnless(MYPY, "mypy is not installed")
class TypesTest(TempDirTestCase):
    def mypy(self, source):
        # A copy of the package under test: mypy takes no site-packages folder
        # on MYPYPATH, and the installed wheel's tests run from one.
        shutil.copytree(os.path.dirname(qt.__file__), self.path("stubs/quobrix_textfile"))
        path = self.write("snippet.py", source.encode())
        env = dict(os.environ, MYPYPATH=self.path("stubs"))
        return subprocess.run([MYPY, "--no-incremental", "--cache-dir", os.devnull, path],
                              env=env, capture_output=True, text=True, timeout=300)

    def test_good_code_passes(self):
        run = self.mypy(GOOD)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    def test_misspellings_are_flagged(self):
        lines = ["import quobrix_textfile as qt", 'with qt.open("a.txt") as doc:', "    pass"]
        lines += ["    " + BAD[n] for n in sorted(BAD)]
        run = self.mypy("\n".join(lines) + "\n")
        flagged = {int(line.split(":")[1]) for line in run.stdout.splitlines()
                   if ": error:" in line}
        self.assertEqual(flagged, set(BAD), run.stdout)


if __name__ == "__main__":
    unittest.main()
