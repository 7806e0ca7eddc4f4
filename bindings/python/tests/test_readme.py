"""Every Python example of the package's README runs as written, in a folder
holding the notes.txt it opens."""

import contextlib
import io
import os
import re
import unittest

from textfile_test_support import PACKAGE_ROOT, TempDirTestCase

README = os.path.join(PACKAGE_ROOT, "README.md")


class ReadmeTest(TempDirTestCase):
    def test_every_example_runs(self):
        with open(README, encoding="utf-8") as f:
            examples = re.findall(r"```python\n(.*?)```", f.read(), re.S)
        self.assertGreaterEqual(len(examples), 3)
        notes = "TODO: one\r\nsecond line, todo two\r\n"
        self.write("notes.txt", b"\xff\xfe" + notes.encode("utf-16-le"))
        here = os.getcwd()
        os.chdir(self.dir)
        self.addCleanup(os.chdir, here)
        for example in examples:
            with self.subTest(example=example.splitlines()[2]):
                out = io.StringIO()
                with contextlib.redirect_stdout(out):
                    exec(compile(example, README, "exec"), {})  # noqa: S102 - our own README
                self.assertTrue(out.getvalue())


if __name__ == "__main__":
    unittest.main()
