"""The gate's interleavings, made to happen: a call held in flight, a signal
delivered while a call waits, a fork while another thread holds the gate."""

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


def until(condition):
    """Waits for condition() (set by another thread) without a fixed delay."""
    end = time.monotonic() + DEADLINE
    while not condition():
        if time.monotonic() > end:
            raise AssertionError("the other thread never got there")
        time.sleep(0.001)


def in_thread(fn):
    """Runs fn in a thread; join() returns what it raised or returned."""
    outcome = {}

    def run():
        try:
            outcome["value"] = fn()
        except BaseException as error:  # noqa: BLE001 - handed to the test
            outcome["value"] = error

    thread = threading.Thread(target=run, daemon=True)
    thread.start()

    def join():
        thread.join(DEADLINE)
        if thread.is_alive():
            raise AssertionError("the thread hangs")
        return outcome.get("value")

    return join


class GateTest(TempDirTestCase):
    def setUp(self):
        super().setUp()
        qt.version()  # loaded before any call is held
        self.held = _gate.Call()
        self.addCleanup(GATE.reset)  # a test that broke the gate breaks no other

    def hold(self):
        """A call of the package in flight until release()."""
        GATE.enter(self.held)
        self.addCleanup(self.release)

    def release(self):
        GATE.leave(self.held)

    def assert_usable(self):
        missing = self.path("after.txt")
        outcome = in_thread(lambda: qt.open(missing))()
        self.assertIsInstance(outcome, FileNotFoundError)
        # "invalid handle" is no message of tf_info on an open document: repeated alone.
        outcome = in_thread(lambda: _library.call_json("tf_info", 99))()
        self.assertEqual(str(outcome), "invalid handle")
        self.assertEqual((GATE._in_flight, GATE._alone), (0, None))

    def test_alone_waits_for_the_calls_in_flight(self):
        self.hold()
        seen = []
        join = in_thread(lambda: GATE.run_alone(lambda: seen.append(GATE._in_flight)))
        until(lambda: GATE._waiting or seen)
        self.release()
        join()
        self.assertEqual(seen, [0])

    def test_own_message_at_once_and_a_foreign_one_repeated_alone(self):
        real = _library.function
        clobbered = []

        def clobbering(name):
            f = real(name)
            if name != "tf_open":
                return f

            def open_then_fail_elsewhere(path):
                result = f(path)
                if not clobbered:  # another call's failure replaces the message
                    clobbered.append(real("tf_save_text")(b"x", 1, b"y", b"zz"))
                return result
            return open_then_fail_elsewhere

        self.hold()
        missing = self.path("missing.txt")
        own = "cannot open '%s': No such file or directory" % missing
        self.assertEqual(str(in_thread(lambda: qt.open(missing))()), own)  # held: no wait
        _library.function = clobbering
        self.addCleanup(setattr, _library, "function", real)
        join = in_thread(lambda: qt.open(missing))
        until(lambda: GATE._waiting)  # read "unsupported encoding 'zz'": waits to repeat alone
        self.release()
        self.assertEqual(str(join()), own)

    @unittest.skipUnless(hasattr(signal, "pthread_kill"), "POSIX signals")
    def test_a_signal_during_any_wait_leaves_the_gate_usable(self):
        # Also where the shell started the tests with SIGINT ignored.
        self.addCleanup(signal.signal, signal.SIGINT,
                        signal.signal(signal.SIGINT, signal.default_int_handler))
        main = threading.get_ident()

        def interrupted_while_waiting(call, unblock):
            """call() in this thread, interrupted by SIGINT once it waits;
            unblock() ends the wait should the signal not stop it."""
            caught = threading.Event()

            def interrupt():
                until(lambda: GATE._waiting)
                signal.pthread_kill(main, signal.SIGINT)
                if not caught.wait(DEADLINE):
                    unblock()

            interrupter = threading.Thread(target=interrupt)
            interrupter.start()
            try:
                with self.assertRaises(KeyboardInterrupt):
                    call()
            finally:
                caught.set()
                interrupter.join()

        # Waiting to repeat alone, while a call is in flight.
        self.hold()
        interrupted_while_waiting(lambda: _library.call_json("tf_info", 99), self.release)
        self.release()
        self.assert_usable()

        # Waiting to enter, while another call runs alone.
        go = threading.Event()
        join = in_thread(lambda: GATE.run_alone(lambda: go.wait(DEADLINE)))
        until(lambda: GATE._alone is not None)
        interrupted_while_waiting(lambda: qt.open(self.path("x")), go.set)
        go.set()
        join()
        self.assert_usable()

    @unittest.skipUnless(hasattr(os, "fork"), "POSIX fork")
    def test_a_forked_child_starts_with_a_fresh_gate(self):
        # Another thread holds the gate's lock and a call in flight at the fork.
        self.hold()
        locked, done = threading.Event(), threading.Event()

        def hold_the_lock():
            with GATE._cond:
                locked.set()
                done.wait(DEADLINE)

        holder = threading.Thread(target=hold_the_lock)
        holder.start()
        locked.wait(DEADLINE)
        pid = os.fork()
        if pid == 0:  # the child: both calls need the gate, the second alone
            code = 1
            try:
                try:
                    qt.open(self.path("missing.txt"))
                except FileNotFoundError:
                    try:
                        _library.call_json("tf_info", 99)
                    except qt.TextFileError as error:
                        code = 0 if str(error) == "invalid handle" else 2
            finally:
                os._exit(code)
        done.set()
        holder.join()
        end = time.monotonic() + DEADLINE
        while True:
            finished, status = os.waitpid(pid, os.WNOHANG)
            if finished or time.monotonic() > end:
                break
            time.sleep(0.01)
        if not finished:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
            self.fail("the forked child hangs in the gate")
        self.assertEqual(os.waitstatus_to_exitcode(status), 0)


if __name__ == "__main__":
    unittest.main()
