"""Loading the shared library and calling it.

The library is looked up in this order: the path in the environment variable
QUOBRIX_TEXTFILE_LIBRARY; a shared library beside this package (where the
platform wheels carry it); the system's library search path. It is loaded on
first use, and its version must be the package's.

The library keeps one last-error message for the whole process. Calls run in
parallel; a failed call's message is its own when no other call of the
package was in flight at any moment between its start and the reading of the
message. Otherwise the call is repeated alone: new calls wait, the ones in
flight finish, the call runs again and its message is read. A failed open or
save changed nothing and a query changes nothing, so repeating is safe, and
opens and saves of several threads overlap.
"""

import contextlib
import ctypes
import ctypes.util
import glob
import json
import os
import platform
import re
import sys
import threading

from .errors import TextFileError

ENVIRONMENT_VARIABLE = "QUOBRIX_TEXTFILE_LIBRARY"
#: The library's version this package is made for (tf_version() must say it).
PACKAGE_VERSION = "1.0.1"
_GLIBC_NEEDED = re.compile(r"GLIBC_([0-9]+(?:\.[0-9]+)+)' not found")
_SONAME = "libquobrix-textfile.so.1"

_c_int = ctypes.c_int
_c_str = ctypes.c_char_p
_c_ptr = ctypes.c_void_p
_PROTOTYPES = {
    "tf_version": (_c_str, []),
    "tf_last_error": (_c_str, []),
    "tf_free_string": (None, [_c_ptr]),
    "tf_open": (_c_int, [_c_str]),
    "tf_close": (_c_int, [_c_int]),
    "tf_info": (_c_ptr, [_c_int]),
    "tf_text": (_c_ptr, [_c_int, ctypes.c_int64, ctypes.c_int32]),
    "tf_full": (_c_ptr, [_c_int]),
    "tf_stats": (_c_ptr, [_c_int]),
    "tf_linecol": (_c_ptr, [_c_int, ctypes.c_int64]),
    "tf_search": (_c_ptr, [_c_int, _c_str, _c_int, _c_int]),
    "tf_replace_preview": (_c_ptr, [_c_int, _c_str, _c_str, _c_int]),
    "tf_save": (_c_int, [_c_int, _c_str, _c_str]),
    "tf_save_text": (_c_int, [_c_str, ctypes.c_int32, _c_str, _c_str]),
}

_load_lock = threading.Lock()
_library = None


class _Gate:
    """Counts the calls in flight and the calls started, and lets one call at
    a time run alone."""

    def __init__(self):
        self._cond = threading.Condition(threading.Lock())
        self._in_flight = 0
        self._entries = 0
        self._alone = False

    def enter(self):
        """Counts a call in; returns the ticket to give to leave()."""
        with self._cond:
            while self._alone:
                self._cond.wait()
            ticket = (self._in_flight, self._entries)
            self._in_flight += 1
            self._entries += 1
            return ticket

    def leave(self, ticket):
        """Counts a call out; True when it had the library to itself."""
        with self._cond:
            self._in_flight -= 1
            if self._in_flight == 0:
                self._cond.notify_all()
            return ticket[0] == 0 and self._entries == ticket[1] + 1

    @contextlib.contextmanager
    def alone(self):
        """No other call of the package runs inside this block."""
        with self._cond:
            while self._alone:
                self._cond.wait()
            self._alone = True
            while self._in_flight:
                self._cond.wait()
        try:
            yield
        finally:
            with self._cond:
                self._alone = False
                self._cond.notify_all()


_gate = _Gate()


def _beside_package():
    here = os.path.dirname(os.path.abspath(__file__))
    if sys.platform == "win32":
        patterns = ["quobrix-textfile.dll"]
    elif sys.platform == "darwin":
        patterns = ["libquobrix-textfile.dylib", "libquobrix-textfile.*.dylib"]
    else:
        patterns = [_SONAME, "libquobrix-textfile.so", "libquobrix-textfile.so.*"]
    for pattern in patterns:
        for path in sorted(glob.glob(os.path.join(here, pattern))):
            yield path


def _system_names():
    if sys.platform == "win32":
        yield "quobrix-textfile.dll"
        return
    if sys.platform == "darwin":
        yield "libquobrix-textfile.1.dylib"
        yield "libquobrix-textfile.dylib"
    else:
        yield _SONAME
        yield "libquobrix-textfile.so"
    found = ctypes.util.find_library("quobrix-textfile")
    if found:
        yield found


def _platform_name():
    """This machine as the message names it: "linux-x86_64 with glibc 2.36"."""
    machine = platform.machine().lower() or "unknown"
    name = "%s-%s" % (sys.platform, machine)
    libc, version = platform.libc_ver() if sys.platform.startswith("linux") else ("", "")
    return "%s with %s %s" % (name, libc, version) if libc else name


def _not_found(tried):
    needed = [m.group(1) for m in (_GLIBC_NEEDED.search(t) for t in tried) if m]
    why = ""
    if needed:
        why = "; the library beside the package needs glibc %s or later" % needed[0]
    return (
        "cannot find the quobrix-textfile library for %s%s; tried %s. To use it here, "
        "build the library from source (the project's README, \"Build from source\": "
        "cmake --preset release && cmake --build --preset release), then set %s to the "
        "built library or install it on the system's library search path"
        % (_platform_name(), why, "; ".join(tried), ENVIRONMENT_VARIABLE)
    )


def _load():
    explicit = os.environ.get(ENVIRONMENT_VARIABLE)
    if explicit:
        try:
            return ctypes.CDLL(explicit)
        except OSError as error:
            raise TextFileError(
                "cannot load the quobrix-textfile library from %s=%s: %s"
                % (ENVIRONMENT_VARIABLE, explicit, error)
            ) from None
    tried = []
    for candidate in list(_beside_package()) + list(_system_names()):
        try:
            return ctypes.CDLL(candidate)
        except OSError as error:
            tried.append("%s (%s)" % (candidate, error))
    raise TextFileError(_not_found(tried))


def _check_version(lib):
    """This package speaks to the library of its own version only, so that a
    stale library on the system path is named, not misused."""
    found = getattr(lib, "tf_version", None)
    found = found().decode("ascii", "replace") if found is not None else "unknown"
    if found != PACKAGE_VERSION:
        raise TextFileError(
            "the quobrix-textfile library found at %s is version %s, but this package is "
            "version %s: install the library of version %s, or point %s at it"
            % (lib._name, found, PACKAGE_VERSION, PACKAGE_VERSION, ENVIRONMENT_VARIABLE)
        )


def library():
    """The loaded library, with the prototypes of the functions it has."""
    global _library
    if _library is None:
        with _load_lock:
            if _library is None:
                lib = _load()
                for name, (restype, argtypes) in _PROTOTYPES.items():
                    found = getattr(lib, name, None)
                    if found is not None:
                        found.restype = restype
                        found.argtypes = argtypes
                _check_version(lib)
                _library = lib
    return _library


def function(name):
    """The library's function `name`; TextFileError when the library lacks it."""
    found = getattr(library(), name, None)
    if found is None:
        raise TextFileError("the loaded quobrix-textfile library has no %s" % name)
    return found


def last_error():
    message = library().tf_last_error()
    return message.decode("utf-8", "replace") if message is not None else ""


def free_string(pointer):
    library().tf_free_string(pointer)


def _call(name, args, failed):
    """One call through the gate; a failure raises TextFileError with its own
    message, repeating the call alone when another call may have replaced it."""
    f = function(name)
    ticket = _gate.enter()
    try:
        result = f(*args)
        message = last_error() if failed(result) else None
    finally:
        alone = _gate.leave(ticket)
    if not failed(result):
        return result
    if alone:
        raise TextFileError(message)
    with _gate.alone():
        result = f(*args)
        if failed(result):
            raise TextFileError(last_error())
    return result


def _negative(result):
    return result < 0


def _null(pointer):
    return not pointer


def call_int(name, *args):
    """Calls an export that returns an int; -1 raises TextFileError."""
    return _call(name, args, _negative)


def _read(pointer, length):
    try:
        return ctypes.string_at(pointer) if length is None else ctypes.string_at(pointer, length)
    finally:
        free_string(pointer)


def call_bytes(name, length, *args):
    """Calls an export that returns a string and gives back its bytes: up to
    the first 0x00 byte, or exactly `length` bytes when `length` is given. The
    string is released with tf_free_string in every case."""
    return _read(_call(name, args, _null), length)


def call_json(name, *args):
    """Calls an export that returns a JSON result and parses it."""
    return json.loads(call_bytes(name, None, *args).decode("utf-8"))


def try_json(name, *args):
    """call_json for probes whose failure is expected and says all that is
    needed: None on failure, and no message is read."""
    f = function(name)
    ticket = _gate.enter()
    try:
        pointer = f(*args)
    finally:
        _gate.leave(ticket)
    if not pointer:
        return None
    return json.loads(_read(pointer, None).decode("utf-8"))


def close(handle):
    """tf_close never fails and sets no message: no lock needed."""
    library().tf_close(handle)
