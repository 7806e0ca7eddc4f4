"""Document and the module functions against the real library: argument
conversion, results, errors with the library's exact messages, ownership of
returned strings, and paging that never cuts a character."""

import gc
import os
import pathlib
import random
import unittest

import quobrix_textfile as qt
from quobrix_textfile import _document, _library
from textfile_test_support import TempDirTestCase

UTF16_HI = b"\xff\xfeh\x00i\x00"
# ASCII, 2-, 3- and 4-byte characters, 0x00 bytes, CR LF and a lone CR.
MIXED = "a\u00e9\u20ac\U0001F600\x00b\r\nc\u00e9\x00\x00\U0001F600\rz"


class OpenTest(TempDirTestCase):
    def test_path_types(self):
        path = self.write("a.txt", b"ab\ncd\nef\n")
        for arg in (path, os.fsencode(path), pathlib.Path(path)):
            with self.subTest(arg=type(arg).__name__):
                with qt.open(arg) as doc:
                    self.assertEqual(doc.info(), {
                        "encoding": "utf8", "had_bom": 0, "line_ending": "lf", "bytes": 9,
                        "raw_bytes": 9, "lines": 3, "sanitized": 0})
                    self.assertIs(doc.path, arg)

    def test_failures_carry_the_library_message(self):
        missing = self.path("missing.txt")
        cases = [
            (missing, "cannot open '%s': No such file or directory" % missing),
            (self.dir, "'%s' is a directory" % self.dir),
        ]
        for path, message in cases:
            with self.subTest(path=path):
                with self.assertRaises(qt.TextFileError) as caught:
                    qt.open(path)
                self.assertEqual(caught.exception.message, message)
                self.assertEqual(str(caught.exception), message)
        # A message that ends in the system's reason is also that OSError.
        with self.assertRaises(FileNotFoundError) as caught:
            qt.open(missing)
        self.assertEqual((caught.exception.errno, str(caught.exception)), (2, cases[0][1]))
        self.assertEqual(caught.exception.filename, missing)
        with self.assertRaises(IsADirectoryError) as caught:
            qt.open(self.dir)
        self.assertEqual(caught.exception.filename, self.dir)

    def test_open_collects_forgotten_documents_when_no_handle_is_free(self):
        path = self.write("a.txt", b"x")
        gc.disable()
        self.addCleanup(gc.enable)
        self.addCleanup(gc.collect)
        for _ in range(64):  # each in a cycle: only the collector frees it
            doc = qt.open(path)
            doc.cycle = doc
        del doc
        with qt.open(path) as doc:
            self.assertEqual(doc.full(), "x")

    def test_the_limits_have_their_own_errors(self):
        big = self.path("big.txt")
        with open(big, "wb") as f:  # sparse: no disk space taken
            f.truncate(524288001)
        with self.assertRaises(qt.FileTooLargeError) as caught:
            qt.open(big)
        self.assertEqual((caught.exception.errno, caught.exception.filename), (27, big))
        self.assertIsInstance(caught.exception, OSError)
        with open(big, "r+b") as f:
            f.truncate(67108865)
        with qt.open(big) as doc, self.assertRaises(qt.TextTooLargeError) as caught:
            doc.full()
        self.assertIn("use pages()", str(caught.exception).replace("read it with", "use"))
        self.assertNotIn("tf_", str(caught.exception))
        small = self.write("small.txt", b"x")
        docs = [qt.open(small) for _ in range(64)]
        self.addCleanup(lambda: [d.close() for d in docs])
        with self.assertRaises(qt.TooManyOpenError) as caught:
            qt.open(small)
        self.assertIsInstance(caught.exception, OSError)

    def test_arguments_python_refuses(self):
        with self.assertRaises(ValueError):
            qt.open("a\0b")
        with self.assertRaises(TypeError):
            qt.open(12.5)

    def test_context_manager_closes_and_handles_are_reused(self):
        path = self.write("a.txt", b"x")
        with qt.open(path) as first:
            handle = first.handle
        self.assertTrue(first.closed)
        with self.assertRaises(ValueError):
            first.info()
        with self.assertRaises(ValueError):
            first.handle
        first.close()  # again: nothing happens
        with qt.open(path) as second:
            self.assertEqual(second.handle, handle)

    def test_garbage_collected_document_releases_its_handle(self):
        path = self.write("a.txt", b"x")
        handle = qt.open(path).handle  # the Document is dropped at once
        with qt.open(path) as doc:
            self.assertEqual(doc.handle, handle)

    def test_invalid_handle_message(self):
        with self.assertRaises(qt.TextFileError) as caught:
            _library.call_json("tf_info", 99)
        self.assertEqual(caught.exception.message, "invalid handle")


class QueryTest(TempDirTestCase):
    def open(self, data, name="doc.txt"):
        doc = qt.open(self.write(name, data))
        self.addCleanup(doc.close)
        return doc

    def test_info_per_encoding(self):
        cases = [
            (b"ab\r\ncd", {"encoding": "utf8", "had_bom": 0, "line_ending": "crlf", "bytes": 6,
                           "raw_bytes": 6, "lines": 2, "sanitized": 0}),
            (b"\xef\xbb\xbfhi", {"encoding": "utf8-bom", "had_bom": 1, "line_ending": "lf",
                                 "bytes": 2, "raw_bytes": 5, "lines": 1, "sanitized": 0}),
            (UTF16_HI, {"encoding": "utf16le", "had_bom": 1, "line_ending": "lf", "bytes": 2,
                        "raw_bytes": 6, "lines": 1, "sanitized": 0}),
            (b"caf\xe9", {"encoding": "ansi", "had_bom": 0, "line_ending": "lf", "bytes": 5,
                          "raw_bytes": 4, "lines": 1, "sanitized": 0}),
        ]
        for data, expected in cases:
            with self.subTest(data=data):
                self.assertEqual(self.open(data).info(), expected)

    def test_stats_and_linecol(self):
        doc = self.open(b"ab\r\ncd")
        self.assertEqual(doc.stats(), {"lines": 2, "words": 2, "chars": 6, "bytes": 6})
        expected = {-5: (1, 1), 0: (1, 1), 2: (1, 3), 3: (2, 1), 4: (2, 1), 5: (2, 2),
                    6: (2, 3), 100: (2, 3), -(1 << 70): (1, 1), 1 << 70: (2, 3)}
        for offset, (line, col) in expected.items():
            with self.subTest(offset=offset):
                self.assertEqual(doc.linecol(offset), {"line": line, "col": col, "char_col": col})

    def test_text_pages_as_the_library_cuts_them(self):
        doc = self.open(b"ab\ncd")
        cases = [
            ((0, 0), {"text": "", "next_offset": 0}),
            ((-5, 10), {"text": "ab\ncd", "next_offset": 5}),
            ((0, 4), {"text": "ab\nc", "next_offset": 4}),
            ((4, 4), {"text": "d", "next_offset": 5}),
            ((5, 4), {"text": "", "next_offset": 5}),
            ((99, 4), {"text": "", "next_offset": 5}),
            ((0, -1), {"text": "", "next_offset": 0}),
            ((0, 1 << 40), {"text": "ab\ncd", "next_offset": 5}),
        ]
        for (offset, max_bytes), expected in cases:
            with self.subTest(offset=offset, max_bytes=max_bytes):
                self.assertEqual(doc.text(offset, max_bytes), expected)
        self.assertEqual(doc.text(), {"text": "ab\ncd", "next_offset": 5})

    def test_text_inside_a_character_is_the_library_failure(self):
        doc = self.open("\u00e9".encode())
        with self.assertRaises(qt.TextFileError) as caught:
            doc.text(0, 1)
        self.assertEqual(caught.exception.message, "failed to serialize JSON")

    def test_full_keeps_inner_zero_bytes(self):
        data = MIXED.encode("utf-8")
        doc = self.open(data)
        self.assertEqual(doc.full_bytes(), data)
        self.assertEqual(doc.full(), MIXED)
        self.assertEqual(self.open(b"", "empty.txt").full(), "")
        self.assertEqual(self.open(UTF16_HI, "u16.txt").full(), "hi")

    def test_pages_join_to_the_whole_text_for_every_size(self):
        data = MIXED.encode("utf-8")
        for saved_as in ("utf8", "utf16le"):
            path = self.path("mixed-%s.txt" % saved_as)
            qt.save_text(MIXED, path, saved_as)
            with qt.open(path) as doc:
                for size in range(1, len(data) + 3):
                    with self.subTest(saved_as=saved_as, size=size):
                        pages = list(doc.pages(size))
                        self.assertEqual("".join(pages), MIXED)
                        for page in pages:
                            self.assertTrue(page)
                            encoded = len(page.encode("utf-8"))
                            self.assertTrue(encoded <= size or len(page) == 1, (page, size))
        self.assertEqual(list(self.open(b"", "empty.txt").pages(4)), [])
        with self.assertRaises(ValueError):
            list(self.open(b"x", "x.txt").pages(0))

    def test_pages_random_texts(self):
        rng = random.Random(6)
        alphabet = ["a", "\n", "\r", "\x00", "\u00e9", "\u20ac", "\U0001F600", " "]
        for round_ in range(30):
            text = "".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 60)))
            path = self.write("r%d.txt" % round_, text.encode("utf-8"))
            with qt.open(path) as doc:
                size = rng.randrange(1, 9)
                with self.subTest(text=text, size=size):
                    self.assertEqual("".join(doc.pages(size)), text)

    def test_search(self):
        doc = self.open(b"Hello HELLO hello")
        self.assertEqual(doc.search("hello"), {
            "count": 1, "query_len": 5, "truncated": False,
            "hits": [{"offset": 12, "length": 5, "char_offset": 12, "char_length": 5}]})
        self.assertEqual([h["offset"] for h in doc.search(b"hello", True)["hits"]], [0, 6, 12])
        self.assertEqual(doc.search("l", max_hits=2)["count"], 2)
        self.assertEqual(doc.search(""),
                         {"count": 0, "query_len": 0, "hits": [], "truncated": False})
        self.assertEqual(self.open("é".encode(), "e.txt").search("é")["hits"],
                         [{"offset": 0, "length": 2, "char_offset": 0, "char_length": 1}])
        with self.assertRaises(ValueError):
            doc.search("a\0b")

    def test_replace_preview_leaves_the_document_alone(self):
        doc = self.open(b"Cat cat CAT")
        self.assertEqual(doc.replace_preview("Cat", "dog", case_insensitive=True),
                         {"count": 3, "text": "dog dog dog"})
        self.assertEqual(doc.replace_preview("Cat", "dog"), {"count": 1, "text": "dog cat CAT"})
        self.assertEqual(doc.full(), "Cat cat CAT")
        with self.assertRaises(ValueError):
            doc.replace_preview("a", "b\0")

    def test_every_returned_string_is_freed_once(self):
        doc = self.open(b"abc abc\n")
        freed = []
        original = _library.free_string

        def counting(pointer):
            freed.append(pointer)
            original(pointer)

        _library.free_string = counting
        try:
            calls = [doc.info, doc.stats, lambda: doc.text(0, 3),
                     lambda: doc.replace_preview("a", "b"), doc.full_bytes]
            for call in calls:
                before = len(freed)
                call()
                # full_bytes asks info() for the length first: two strings.
                self.assertEqual(len(freed) - before, 2 if call == doc.full_bytes else 1)
            before = len(freed)
            with self.assertRaises(qt.TextFileError):
                _library.call_json("tf_info", 64)
            self.assertEqual(len(freed), before)
        finally:
            _library.free_string = original


class UnitsTest(TempDirTestCase):
    """Hits and positions in code points too, and the totals behind a search."""

    def open(self, text):
        doc = qt.open(self.write("u.txt", text.encode("utf-8")))
        self.addCleanup(doc.close)
        return doc

    def test_hits_and_positions_index_the_str(self):
        # 1-, 2-, 3- and 4-byte characters, and the package's walks in pieces
        # of a few bytes so that they cross many piece boundaries.
        self.addCleanup(setattr, _document, "_WALK_BYTES", _document._WALK_BYTES)
        _document._WALK_BYTES = 5
        text = "a\u00e9\u20ac\U0001F600\nx\u20ac\U0001F600\u00e9\x00\u20ac\u20ac\u00e9a\u20ac\n" * 3
        doc = self.open(text)
        full = doc.full()
        for query in ("\u20ac", "\U0001F600\u00e9", "a", "\u00e9a\u20ac", "\n"):
            hits = doc.search(query)["hits"]
            self.assertEqual(len(hits), full.count(query))
            for hit in hits:
                start = hit["char_offset"]
                self.assertEqual(full[start:start + hit["char_length"]], query)
                self.assertEqual(doc.text(start, len(query), unit="chars")["text"], query)
                line_start = full.rfind("\n", 0, start) + 1
                self.assertEqual(doc.linecol(start, unit="chars")["char_col"],
                                 start - line_start + 1)
                self.assertEqual(doc.linecol(hit["offset"])["char_col"], start - line_start + 1)
        for i, n in ((0, 3), (5, 100), (len(full) - 1, 5), (len(full) + 3, 2), (-2, 4)):
            at = min(max(i, 0), len(full))
            self.assertEqual(doc.text(i, n, unit="chars"),
                             {"text": full[at:at + n], "next_offset": at + len(full[at:at + n])})
        for size in (1, 2, 7):
            pages = list(doc.pages(size, unit="chars"))
            self.assertEqual("".join(pages), full)
            self.assertEqual({len(p) for p in pages[:-1]}, {size})

    def test_search_says_what_it_left_out_and_count_counts_it(self):
        doc = self.open("aaaaa")
        cases = [(0, 5, False), (4, 4, True), (5, 5, False), (3, 3, True)]
        for max_hits, returned, truncated in cases:
            found = doc.search("a", max_hits=max_hits)
            self.assertEqual((found["count"], len(found["hits"]), found["truncated"]),
                             (returned, returned, truncated))
        self.assertEqual((doc.count("aa"), doc.replace_preview("aa", "b")["count"]), (4, 2))
        self.assertEqual((doc.count("A"), doc.count("A", case_insensitive=True)), (0, 5))
        # Past the library's 100,000 hits the package counts by itself.
        text = "ab" * 99996 + "aAa" + "ba" * 4  # exactly 100,000 b
        doc = self.open(text)
        self.assertFalse(doc.search("b", max_hits=100000)["truncated"])
        self.assertTrue(doc.search("a", max_hits=100000)["truncated"])
        for query, fold in [("a", False), ("A", True), ("aa", True), ("aba", False),
                            ("bab", False), ("", False)]:
            with self.subTest(query=query, fold=fold):
                folded = text.lower() if fold else text
                total = sum(folded.startswith(query.lower() if fold else query, i)
                            for i in range(len(text))) if query else 0
                self.assertEqual(doc.count(query, case_insensitive=fold), total)


class SaveTest(TempDirTestCase):
    def test_round_trip_in_every_encoding(self):
        source = self.write("src.txt", MIXED.encode("utf-8"))
        expected = {"utf8": (b"", "utf8"), "utf8-bom": (b"\xef\xbb\xbf", "utf8-bom"),
                    "utf16le": (b"\xff\xfe", "utf16le")}
        with qt.open(source) as doc:
            for encoding, (mark, detected) in expected.items():
                with self.subTest(encoding=encoding):
                    target = self.path("out-%s.txt" % encoding)
                    self.assertIsNone(doc.save(target, encoding))
                    raw = self.read(target)
                    self.assertTrue(raw.startswith(mark))
                    self.assertFalse(os.path.exists(target + ".tmp"))
                    with qt.open(pathlib.Path(target)) as again:
                        self.assertEqual(again.info()["encoding"], detected)
                        self.assertEqual(again.full(), MIXED)
            self.assertEqual(doc.info()["encoding"], "utf8")

    def test_save_text_bytes_written(self):
        cases = [
            ("abc", "utf8", b"abc"),
            ("", "utf8", b""),
            ("", "utf8-bom", b"\xef\xbb\xbf"),
            ("", "utf16le", b"\xff\xfe"),
            ("a\x00b", "utf8", b"a\x00b"),
            (b"\xc3\xa9", "utf16le", b"\xff\xfe\xe9\x00"),
            ("\U0001F600", "utf16le", b"\xff\xfe\x3d\xd8\x00\xde"),
        ]
        for text, encoding, written in cases:
            with self.subTest(text=text, encoding=encoding):
                target = self.path("t.txt")
                qt.save_text(text, target, encoding)
                self.assertEqual(self.read(target), written)

    def test_save_failures_carry_the_library_message(self):
        target = self.path("t.txt")
        for name in ("UTF8", "utf-8", "ansi", ""):
            with self.subTest(encoding=name):
                with self.assertRaises(qt.TextFileError) as caught:
                    qt.save_text("x", target, name)
                self.assertEqual(caught.exception.message,
                                 "unsupported encoding '%s' (use utf8|utf8-bom|utf16le)" % name)
                self.assertIsInstance(caught.exception, qt.UnsupportedEncodingError)
                self.assertIsInstance(caught.exception, LookupError)
                self.assertFalse(os.path.exists(target))
        with qt.open(self.write("s.txt", b"x")) as doc, \
                self.assertRaises(IsADirectoryError) as caught:
            doc.save(self.dir, "utf8")
        self.assertEqual(caught.exception.filename, self.dir)
        nowhere = self.path("no/such/dir/t.txt")
        with self.assertRaises(qt.TextFileError) as caught:
            qt.save_text("x", nowhere, "utf8")
        self.assertEqual(caught.exception.message,
                         "cannot create temp file '%s.tmp': No such file or directory" % nowhere)
        self.assertIsInstance(caught.exception, FileNotFoundError)
        self.assertEqual(caught.exception.filename, nowhere)
        with self.assertRaises(TypeError):
            qt.save_text(3, target, "utf8")


if __name__ == "__main__":
    unittest.main()
