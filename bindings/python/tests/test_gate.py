"""What the process-wide last-error message and asynchronous exceptions do
to the package: a message replaced by another call, Ctrl-C-like interrupts
at any moment, a fork while another thread makes the first call."""

import os
import signal
import subprocess
import sys
import threading
import time
import unittest

import quobrix_textfile as qt
from quobrix_textfile import _library
from textfile_test_support import TempDirTestCase

DEADLINE = 30  # seconds; only a hang comes near it

# Opens, queries and closes for `seconds` while SIGALRM raises KeyboardInterrupt
# 1 to 500 times a second in the main thread; `threads` more threads do the same
# meanwhile, with a failing open each round. Nothing may hang, and then every
# one of the 64 handles must be free again.
STORM = r"""
import gc, random, signal, sys, threading, time
import quobrix_textfile as qt

path, missing, threads, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])

def interrupt(signum, frame):
    raise KeyboardInterrupt

def work():
    with qt.open(path) as doc:
        assert doc.info()["bytes"] == 3
    try:
        qt.open(missing)
    except qt.MessageLostError:  # said honestly, and rare: other threads' calls
        pass
    except FileNotFoundError as error:
        assert str(error).startswith("cannot open"), error

stop = threading.Event()
def worker():
    while not stop.is_set():
        work()

pool = [threading.Thread(target=worker) for _ in range(threads)]
for t in pool:
    t.start()
signal.signal(signal.SIGALRM, interrupt)
rng, interrupts, end = random.Random(7), 0, time.monotonic() + seconds
while True:
    try:
        if time.monotonic() > end:
            signal.signal(signal.SIGALRM, signal.SIG_IGN)
            break
        period = 1 / rng.uniform(1, 500)
        signal.setitimer(signal.ITIMER_REAL, period, period)
        for _ in range(20):
            work()
    except KeyboardInterrupt:
        interrupts += 1
signal.setitimer(signal.ITIMER_REAL, 0)
stop.set()
for t in pool:
    t.join()
gc.collect()
docs = [qt.open(path) for _ in range(64)]  # a handle left open makes one fail
work_after = [d.info()["bytes"] for d in docs]
print("interrupts", interrupts)
"""


class InterruptStormTest(TempDirTestCase):
    def storm(self, threads):
        path = self.write("a.txt", b"abc")
        here = os.path.dirname(os.path.dirname(qt.__file__))  # the package under test
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(
            [here] + os.environ.get("PYTHONPATH", "").split(os.pathsep)))
        try:
            run = subprocess.run(
                [sys.executable, "-c", STORM, path, self.path("missing.txt"), str(threads), "2"],
                env=env, capture_output=True, text=True, timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            self.fail("the interrupted calls hung")
        self.assertEqual(run.returncode, 0, run.stderr[-3000:])
        self.assertGreater(int(run.stdout.split()[-1]), 10)  # interrupted, often

    @unittest.skipUnless(hasattr(signal, "setitimer"), "POSIX interval timers")
    def test_interrupts_in_one_thread(self):
        self.storm(0)

    @unittest.skipUnless(hasattr(signal, "setitimer"), "POSIX interval timers")
    def test_interrupts_while_four_threads_call(self):
        self.storm(4)


class MessageTest(TempDirTestCase):
    def clobbered(self, times):
        """tf_open whose message another call replaces, `times` times."""
        real = _library.function
        clobber = real("tf_save_text")
        calls = []

        def tf_open(path):
            calls.append(path)
            result = real("tf_open")(path)
            if len(calls) <= times:
                clobber(b"x", 1, b"y", b"zz")  # "unsupported encoding 'zz' ..."
            return result

        _library.function = lambda name: tf_open if name == "tf_open" else real(name)
        self.addCleanup(setattr, _library, "function", real)
        self.addCleanup(setattr, _library, "_holding_gil", _library._holding_gil)
        _library._holding_gil = lambda f, name: f
        return calls

    def open_missing(self):
        missing = self.path("missing.txt")
        with self.assertRaises(qt.TextFileError) as caught:
            _library.call_int("tf_open", missing.encode())
        return missing, caught.exception

    def test_a_replaced_message_is_read_again_by_repeating_the_call(self):
        calls = self.clobbered(2)
        missing, error = self.open_missing()
        self.assertEqual(str(error), "cannot open '%s': No such file or directory" % missing)
        self.assertEqual(len(calls), 3)

    def test_a_message_lost_every_time_says_so(self):
        calls = self.clobbered(1000)
        _, error = self.open_missing()
        self.assertIsInstance(error, qt.MessageLostError)
        self.assertEqual(len(calls), _library.ATTEMPTS)


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
            for _ in range(10):  # before the loader lock was reset, 9 of 10 hung
                pid = os.fork()
                if pid == 0:
                    code = 1
                    try:
                        code = 0 if qt.version() == "1.0.1" else 2
                    finally:
                        os._exit(code)
                end = time.monotonic() + 10
                finished, status = os.waitpid(pid, os.WNOHANG)
                while not finished:
                    if time.monotonic() > end:
                        os.kill(pid, signal.SIGKILL)
                        os.waitpid(pid, 0)
                        self.fail("the child hung in its first call")
                    time.sleep(0.002)
                    finished, status = os.waitpid(pid, os.WNOHANG)
                self.assertEqual(os.waitstatus_to_exitcode(status), 0)
        finally:
            stop.set()
            thread.join()


if __name__ == "__main__":
    unittest.main()
