"""Paths for the library: in the ANSI code page on Windows (the platform is
injected, with code page 1252's codec standing in for mbcs), unchanged
elsewhere and for bytes."""

import os
import pathlib
import sys
import unittest

import quobrix_textfile as qt
from quobrix_textfile import _paths
from textfile_test_support import LIBRARY, TempDirTestCase

WINDOWS_1252 = _paths.Platform("win32", "cp1252", 1252)
LINUX = _paths.Platform("linux")


class NativePathTest(unittest.TestCase):
    def test_windows_encodes_str_in_the_code_page(self):
        self.assertEqual(_paths.native_path("C:\\Zoë\\café.txt", WINDOWS_1252),
                         b"C:\\Zo\xeb\\caf\xe9.txt")
        self.assertEqual(_paths.native_path(pathlib.PureWindowsPath("C:/é"), WINDOWS_1252),
                         b"C:\\\xe9")

    def test_a_name_outside_the_code_page_is_refused_naming_it(self):
        for name in ("C:\\日本.txt", "C:\\a\udc80.txt", "C:\\\u0100.txt"):
            with self.assertRaises(UnicodeEncodeError) as caught:
                _paths.native_path(name, WINDOWS_1252)
            self.assertIn("ANSI code page 1252", str(caught.exception))
            self.assertIsInstance(caught.exception, ValueError)

    def test_bytes_unchanged_and_other_systems_as_before(self):
        self.assertEqual(_paths.native_path(b"caf\xe9", WINDOWS_1252), b"caf\xe9")
        self.assertEqual(_paths.native_path("/tmp/日本.txt", LINUX), os.fsencode("/tmp/日本.txt"))
        self.assertEqual(_paths.native_path(pathlib.PurePosixPath("/é"), LINUX), "/é".encode())


class PackagePathTest(TempDirTestCase):
    """open() and save() pass what the conversion gives: on a Linux library
    with the Windows platform injected, 'café.txt' reaches the file whose
    name is the code page 1252 bytes, as it does on Windows."""

    def setUp(self):
        super().setUp()
        self.addCleanup(setattr, _paths, "_platform", _paths._platform)
        _paths._platform = WINDOWS_1252

    def test_refused_before_the_library_is_called(self):
        with self.assertRaisesRegex(ValueError, "ANSI code page 1252"):
            qt.open(os.path.join(self.dir, "日本.txt"))
        with self.assertRaisesRegex(ValueError, "ANSI code page 1252"):
            qt.save_text("x", os.path.join(self.dir, "日本.txt"), "utf8")

    def test_open_and_save_in_the_code_page(self):
        if not LIBRARY or sys.platform == "win32":
            self.skipTest("needs QUOBRIX_TEXTFILE_LIBRARY and a system whose names are bytes")
        narrow = os.path.join(os.fsencode(self.dir), b"caf\xe9.txt")
        with open(narrow, "wb") as f:
            f.write("café\n".encode())
        with qt.open(os.path.join(self.dir, "café.txt")) as doc:
            self.assertEqual(doc.search("café")["count"], 1)
            doc.save(os.path.join(self.dir, "café-2.txt"), "utf16le")
        self.assertTrue(os.path.exists(os.path.join(os.fsencode(self.dir), b"caf\xe9-2.txt")))


if __name__ == "__main__":
    unittest.main()
