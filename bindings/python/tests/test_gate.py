"""The gate's interleavings, made to happen: a call held in flight, a signal
delivered while a call waits, a fork while another thread holds the gate."""

import concurrent.futures
import os
import signal
import threading
import time
import unittest

import quobrix_textfile as qt
from quobrix_textfile import _gate, _library
from textfile_test_support import TempDirTestCase

GATE = _gate.gate
DEADLINE = 20  # seconds; only a hang comes near it
# "invalid handle" is no message of tf_info on an open document: repeated alone.
NEEDS_ALONE = lambda: _library.call_json("tf_info", 99)  # noqa: E731


def until(condition):
    end = time.monotonic() + DEADLINE
    while not condition():
        assert time.monotonic() < end, "the other thread never got there"
        time.sleep(0.001)


class GateTest(TempDirTestCase):
    def setUp(self):
        super().setUp()
        qt.version()  # loaded before any call is held
        self.held = _gate.Call()
        self.addCleanup(GATE.reset)  # a test that broke the gate breaks no other
        self.pool = concurrent.futures.ThreadPoolExecutor(2)
        self.addCleanup(self.pool.shutdown, wait=False)

    def hold(self):
        """A call of the package in flight until release()."""
        GATE.enter(self.held)
        self.addCleanup(self.release)

    def release(self):
        GATE.leave(self.held)

    def raised(self, fn):
        return self.pool.submit(fn).exception(DEADLINE)

    def assert_usable(self):
        self.assertIsInstance(self.raised(lambda: qt.open(self.path("x"))), FileNotFoundError)
        self.assertEqual(str(self.raised(NEEDS_ALONE)), "invalid handle")
        self.assertEqual((GATE._in_flight, GATE._alone), (0, None))

    def test_alone_waits_for_the_calls_in_flight(self):
        self.hold()
        seen = []
        done = self.pool.submit(GATE.run_alone, lambda: seen.append(GATE._in_flight))
        until(lambda: GATE._waiting or seen)
        self.release()
        done.result(DEADLINE)
        self.assertEqual(seen, [0])

    def test_own_message_at_once_and_a_foreign_one_repeated_alone(self):
        real = _library.function
        missing = self.path("missing.txt")
        own = "cannot open '%s': No such file or directory" % missing
        self.hold()
        self.assertEqual(str(self.raised(lambda: qt.open(missing))), own)  # no wait

        clobbers = [real("tf_save_text")]

        def open_then_fail_elsewhere(path):  # another call's failure replaces the message
            result = real("tf_open")(path)
            if clobbers:
                clobbers.pop()(b"x", 1, b"y", b"zz")
            return result

        _library.function = lambda name: open_then_fail_elsewhere
        self.addCleanup(setattr, _library, "function", real)
        failed = self.pool.submit(qt.open, missing)
        until(lambda: GATE._waiting)  # read "unsupported encoding 'zz'": waits to repeat alone
        self.release()
        self.assertEqual(str(failed.exception(DEADLINE)), own)

    @unittest.skipUnless(hasattr(signal, "pthread_kill"), "POSIX signals")
    def test_a_signal_during_any_wait_leaves_the_gate_usable(self):
        # Also where the shell started the tests with SIGINT ignored.
        self.addCleanup(signal.signal, signal.SIGINT,
                        signal.signal(signal.SIGINT, signal.default_int_handler))
        main = threading.get_ident()

        def interrupted_while_waiting(call, unblock):
            caught = threading.Event()

            def interrupt():
                until(lambda: GATE._waiting)
                signal.pthread_kill(main, signal.SIGINT)
                if not caught.wait(DEADLINE):
                    unblock()  # the signal did not end the wait: fail, do not hang

            interrupter = self.pool.submit(interrupt)
            try:
                with self.assertRaises(KeyboardInterrupt):
                    call()
            finally:
                caught.set()
                interrupter.result(DEADLINE)

        # Waiting to repeat alone, while a call is in flight.
        self.hold()
        interrupted_while_waiting(NEEDS_ALONE, self.release)
        self.release()
        self.assert_usable()
        # Waiting to enter, while another call runs alone.
        go = threading.Event()
        alone = self.pool.submit(GATE.run_alone, lambda: go.wait(DEADLINE))
        until(lambda: GATE._alone is not None)
        interrupted_while_waiting(lambda: qt.open(self.path("x")), go.set)
        go.set()
        alone.result(DEADLINE)
        self.assert_usable()

    @unittest.skipUnless(hasattr(os, "fork"), "POSIX fork")
    def test_a_forked_child_starts_with_a_fresh_gate(self):
        # Another thread holds the gate's lock and a call is in flight at the fork.
        self.hold()
        locked, done = threading.Event(), threading.Event()
        holder = threading.Thread(target=lambda: GATE._cond.acquire() and (
            locked.set(), done.wait(DEADLINE), GATE._cond.release()))
        holder.start()
        locked.wait(DEADLINE)
        pid = os.fork()
        if pid == 0:  # the child: both calls need the gate, the second alone
            code = 1
            try:
                qt.open(self.path("x"))
            except FileNotFoundError:
                try:
                    NEEDS_ALONE()
                except qt.TextFileError as error:
                    code = 0 if str(error) == "invalid handle" else 2
            finally:
                os._exit(code)
        done.set()
        holder.join()
        end = time.monotonic() + DEADLINE
        while True:
            finished, status = os.waitpid(pid, os.WNOHANG)
            if finished:
                break
            if time.monotonic() > end:
                os.kill(pid, signal.SIGKILL)  # hangs in the gate: fails below
            time.sleep(0.01)
        self.assertEqual(os.waitstatus_to_exitcode(status), 0)

if __name__ == "__main__":
    unittest.main()
