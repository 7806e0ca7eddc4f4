"""Several threads on several documents at once: every result belongs to its
own document, and every failure carries its own message even though the
library keeps one last-error message for the whole process."""

import threading
import unittest

import quobrix_textfile as qt
from textfile_test_support import TempDirTestCase

THREADS = 8
ROUNDS = 25


class ThreadsTest(TempDirTestCase):
    def run_threads(self, work):
        errors = []

        def guarded(index):
            try:
                work(index)
            except BaseException as error:  # noqa: BLE001 - reported below
                errors.append((index, error))

        threads = [threading.Thread(target=guarded, args=(i,)) for i in range(THREADS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(errors, [])

    def test_each_thread_sees_its_own_documents(self):
        texts = []
        for i in range(THREADS):
            # Different lengths, words and encodings per thread.
            text = ("t%d \u00e9\u20ac " % i) * (i + 3) + "\n" * i
            texts.append(text)
            qt.save_text(text, self.path("f%d.txt" % i), ("utf8", "utf8-bom", "utf16le")[i % 3])

        def work(index):
            text = texts[index]
            encoding = ("utf8", "utf8-bom", "utf16le")[index % 3]
            for _ in range(ROUNDS):
                with qt.open(self.path("f%d.txt" % index)) as doc, \
                        qt.open(self.path("f%d.txt" % ((index + 1) % THREADS))) as other:
                    self.assertEqual(doc.info()["encoding"], encoding)
                    self.assertEqual(doc.full(), text)
                    self.assertEqual("".join(doc.pages(5)), text)
                    self.assertEqual(doc.search("t%d " % index)["count"], index + 3)
                    self.assertEqual(other.full(), texts[(index + 1) % THREADS])
                    self.assertEqual(doc.stats()["bytes"], len(text.encode("utf-8")))

        self.run_threads(work)

    def test_each_failure_keeps_its_own_message(self):
        good = self.write("good.txt", b"abc")

        def work(index):
            missing = self.path("missing-%d.txt" % index)
            for round_ in range(ROUNDS):
                with self.assertRaises(qt.TextFileError) as caught:
                    qt.open(missing)
                self.assertEqual(caught.exception.message,
                                 "cannot open '%s': No such file or directory" % missing)
                with qt.open(good) as doc:
                    name = "bad-%d-%d" % (index, round_)
                    with self.assertRaises(qt.TextFileError) as caught:
                        doc.save(self.path("x.txt"), name)
                    self.assertEqual(
                        caught.exception.message,
                        "unsupported encoding '%s' (use utf8|utf8-bom|utf16le)" % name)

        self.run_threads(work)

    def test_one_document_shared_by_threads_and_closed_under_them(self):
        doc = qt.open(self.write("shared.txt", b"x y z\n" * 100))
        self.addCleanup(doc.close)
        barrier = threading.Barrier(THREADS)

        def work(index):
            barrier.wait()
            for _ in range(ROUNDS):
                try:
                    self.assertEqual(doc.stats()["words"], 300)
                except ValueError:  # closed by thread 0: the only other outcome
                    return
                if index == 0:
                    doc.close()

        self.run_threads(work)
        self.assertTrue(doc.closed)


if __name__ == "__main__":
    unittest.main()
