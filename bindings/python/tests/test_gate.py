"""What the process-wide last-error message and asynchronous exceptions do
to the package: a message replaced by another call, Ctrl-C-like interrupts
at any moment, a fork while another thread makes the first call."""

import os
import random
import signal
import sys
import threading
import time
import traceback
import unittest

import quobrix_textfile as qt
from quobrix_textfile import _library
from textfile_test_support import TempDirTestCase

DEADLINE = 20  # seconds; only a hang comes near it

def free_handles(path):
    docs = []
    try:
        while True:
            docs.append(qt.open(path))
    except qt.TextFileError:  # all 64 in use
        pass
    for doc in docs:
        doc.close()
    return len(docs)


def storm(path, missing, threads):
    """Opens, queries and closes for 2 s while SIGALRM raises KeyboardInterrupt
    1 to 500 times a second in the main thread, `threads` more threads doing
    the same with a failing open each round. Returns the interrupts."""

    def work():
        with qt.open(path) as doc:
            assert doc.info()["bytes"] == 3
        try:
            qt.open(missing)
        except FileNotFoundError as error:
            assert str(error).startswith("cannot open"), error
        except qt.MessageLostError:  # said honestly, and rare: other threads' calls
            pass

    armed = [False]  # only inside the try below: the loop's own lines stay out

    rng = random.Random(7)

    def interrupt(signum, frame):
        # Re-armed here, once fired: a timer set again each round of the loop
        # below would never fire when the round is shorter than its period.
        signal.setitimer(signal.ITIMER_REAL, 1 / rng.uniform(1, 500))
        if armed[0]:
            armed[0] = False
            raise KeyboardInterrupt

    stop = threading.Event()
    pool = [threading.Thread(target=lambda: [work() for _ in iter(stop.is_set, True)])
            for _ in range(threads)]
    for t in pool:
        t.start()
    signal.signal(signal.SIGALRM, interrupt)
    interrupts, end = 0, time.monotonic() + 2
    signal.setitimer(signal.ITIMER_REAL, 1 / rng.uniform(1, 500))
    while time.monotonic() < end:
        try:
            armed[0] = True
            for _ in range(20):
                work()
            armed[0] = False
        except KeyboardInterrupt:
            interrupts += 1
    signal.setitimer(signal.ITIMER_REAL, 0)
    stop.set()
    for t in pool:
        t.join()
    return interrupts


def in_child(fn):
    """fn() in a forked child (True: exit 0); False when it fails or hangs."""
    pid = os.fork()
    if pid == 0:
        code = 1
        try:
            code = 0 if fn() else 2
        except BaseException:  # noqa: BLE001 - shown, and the exit code says it
            traceback.print_exc()
        finally:
            os._exit(code)
    end = time.monotonic() + DEADLINE
    finished, status = os.waitpid(pid, os.WNOHANG)
    while not finished and time.monotonic() < end:
        time.sleep(0.01)
        finished, status = os.waitpid(pid, os.WNOHANG)
    if not finished:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
    return finished and os.waitstatus_to_exitcode(status) == 0


@unittest.skipUnless(hasattr(signal, "setitimer") and hasattr(os, "fork"), "POSIX")
class InterruptStormTest(TempDirTestCase):
    """Nothing may hang, and afterwards no handle may be lost."""

    def storm(self, threads):
        path, missing = self.write("a.txt", b"abc"), self.path("missing.txt")

        def run():
            before = free_handles(path)
            interrupts = storm(path, missing, threads)
            after = free_handles(path)
            print("storm: interrupts %d, free handles %d before, %d after"
                  % (interrupts, before, after), file=sys.stderr)
            return interrupts > 10 and after == before

        self.assertTrue(in_child(run))

    def test_interrupts_in_one_thread(self):
        self.storm(0)

    def test_interrupts_while_four_threads_call(self):
        self.storm(4)


class MessageTest(TempDirTestCase):
    def test_a_replaced_message_is_read_again_and_a_lost_one_said_so(self):
        real, holding = _library.function, _library._holding_gil
        self.addCleanup(setattr, _library, "function", real)
        self.addCleanup(setattr, _library, "_holding_gil", holding)
        _library._holding_gil = lambda f, name: f
        missing = self.path("missing.txt")
        own = "cannot open '%s': No such file or directory" % missing
        for replaced, message, calls in [(2, own, 3), (1000, "its message was lost", 8)]:
            made = []

            def tf_open(path):  # another call's failure replaces the message
                made.append(path)
                result = real("tf_open")(path)
                if len(made) <= replaced:
                    real("tf_save_text")(b"x", 1, b"y", b"zz")
                return result

            _library.function = lambda name: tf_open if name == "tf_open" else real(name)
            with self.assertRaises(qt.TextFileError) as caught:
                _library.call_int("tf_open", missing.encode())
            self.assertIn(message, str(caught.exception))
            self.assertEqual(len(made), calls)


class ForkTest(TempDirTestCase):
    @unittest.skipUnless(hasattr(os, "fork"), "POSIX fork")
    def test_a_child_forked_during_another_threads_first_call_does_not_hang(self):
        stop = threading.Event()

        def first_calls():
            while not stop.is_set():
                _library._library = None  # the next call loads the library
                qt.version()

        thread = threading.Thread(target=first_calls)
        thread.start()
        try:
            for _ in range(10):  # before the loader's lock was reset, 9 of 10 hung
                self.assertTrue(in_child(lambda: qt.version() == "1.0.1"))
        finally:
            stop.set()
            thread.join()


if __name__ == "__main__":
    unittest.main()
