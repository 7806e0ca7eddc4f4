"""The gate every call of the package goes through, so that a failed call can
tell whether the process-wide last-error message it read is its own.

It counts the calls in flight and the calls started, and lets one call at a
time run alone. Whatever exception arrives, and wherever (a KeyboardInterrupt
from a signal may interrupt any wait or the taking of the lock), the gate
stays usable: a call is counted out exactly once, the "alone" claim is always
given back, and every wait is bounded, so that a wake-up lost to an
interruption costs a moment rather than a hang. In a forked child the other
threads' calls are gone, and so is the state they held: it starts afresh.
"""

import os
import threading

# Waits are bounded: a notification lost to an interruption costs this long.
_WAIT_SECONDS = 0.05


class Call:
    """One call's place in the gate: its ticket while it is counted in."""

    __slots__ = ("ticket", "alone")

    def __init__(self):
        self.ticket = None
        self.alone = False


class Gate:
    def __init__(self):
        self.reset()

    def reset(self):
        """Fresh state: at creation, and in a forked child, where the lock may
        have been held by a thread that no longer exists."""
        self._cond = threading.Condition(threading.Lock())
        self._in_flight = 0
        self._entries = 0
        self._alone = None  # the token of the call that runs alone
        self._waiting = 0  # threads inside a wait (tests hold calls on it)

    def _wait(self):
        self._waiting += 1
        try:
            self._cond.wait(_WAIT_SECONDS)
        finally:
            self._waiting -= 1

    def _settle(self, change):
        """Runs change() under the lock, and notifies the waiters when it says
        so, even when an exception interrupts the taking of the lock or the
        notification: it is tried again and re-raised once the change is
        made. change() is idempotent."""
        pending = None
        while True:
            try:
                with self._cond:
                    if change():
                        self._cond.notify_all()
                break
            except BaseException as error:  # noqa: BLE001 - re-raised below
                if pending is None:
                    pending = error
        if pending is not None:
            raise pending

    def enter(self, call):
        """Counts `call` in; the count and the ticket change in one statement,
        with no point between them where an exception could be raised."""
        with self._cond:
            while self._alone is not None:
                self._wait()
            call.ticket, self._in_flight, self._entries = (
                (self._in_flight, self._entries), self._in_flight + 1, self._entries + 1)

    def leave(self, call):
        """Counts `call` out (once, however often it is asked); True when it
        had the library to itself from its entry on."""

        def change():
            if call.ticket is not None:
                (flight, entries), call.ticket = call.ticket, None
                self._in_flight -= 1
                call.alone = flight == 0 and self._entries == entries + 1
            # Only a call waiting to run alone waits for the count to fall.
            return self._in_flight == 0 and self._alone is not None

        self._settle(change)
        return call.alone

    def run_alone(self, fn):
        """fn() with no other call of the package in flight."""
        token = object()
        claimed = None
        try:
            with self._cond:
                while self._alone is not None:
                    self._wait()
                self._alone = claimed = token
                while self._in_flight:
                    self._wait()
            return fn()
        finally:
            if claimed is not None:
                self._settle(lambda: self._release(token))

    def _release(self, token):
        if self._alone is token:
            self._alone = None
        return True


gate = Gate()
if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=gate.reset)
