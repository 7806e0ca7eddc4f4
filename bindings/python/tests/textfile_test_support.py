"""Shared helpers of the quobrix_textfile tests: temporary files and the
paths of the package and of the library under test."""

import os
import shutil
import tempfile
import unittest

PACKAGE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARY = os.environ.get("QUOBRIX_TEXTFILE_LIBRARY", "")


class TempDirTestCase(unittest.TestCase):
    """A private temporary directory per test, removed afterwards."""

    def setUp(self):
        super().setUp()
        self.dir = tempfile.mkdtemp(prefix="tf-py-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        path = self.path(name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()
