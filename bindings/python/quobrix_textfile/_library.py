"""Loading the shared library and calling it.

The library is looked up in this order: the path in the environment variable
QUOBRIX_TEXTFILE_LIBRARY; a shared library beside this package (where the
platform wheels carry it); the system's library search path. It is loaded on
first use, and its version must be the package's.

The library keeps one last-error message for the whole process, and calls
run in parallel. A failed call reads the message at once and judges whose it
is by what it says (_messages.py); no call ever waits for another. A message
that is plainly another call's means it was overwritten: the call is repeated,
at most ATTEMPTS times in all, and then raises MessageLostError. A repeat
keeps the GIL while it runs, so that other threads of this interpreter seldom
start a call before its message is read (they can at the next bytecode that
gives the GIL away).

Repeating is safe because each call, run twice, leaves what running it once
leaves: a query changes nothing; an open that failed holds no handle; a save
writes the same bytes to the same target through the same "<path>.tmp" (the
first attempt may have removed an old "<path>.tmp", or, when it failed with
"directory sync failed", already renamed: the repeat writes and renames the
same content again).

No exception, a KeyboardInterrupt included, can land where it leaves state
wrong: this module holds no lock across a call of the library (a document's
own lock is taken and given back by `with`), and a handle goes into its
document's box inside the call of tf_open and out of it inside the call of
tf_close (see open_into and close_from). The only lock held across a call,
the loader's, is made anew in a forked child.
"""

import ctypes
import ctypes.util
import glob
import json
import os
import platform
import re
import sys
import threading

from . import _messages
from .errors import MessageLostError, TextFileError, error_for

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

#: How often a failed call is made in all before its message counts as lost.
ATTEMPTS = 8

_load_lock = threading.Lock()
_library = None


def _after_fork_in_child():
    """A thread that was loading the library at the fork is gone in the
    child, and so would be its hold on the lock."""
    global _load_lock
    _load_lock = threading.Lock()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_after_fork_in_child)


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


def _built_name():
    """Where README's lean build from source leaves the library."""
    if sys.platform == "win32":
        return os.path.join("build", "bin", "quobrix-textfile.dll")
    if sys.platform == "darwin":
        return os.path.join("build", "src", "libquobrix-textfile.dylib")
    return os.path.join("build", "src", _SONAME)


def _not_found(tried):
    needed = [m.group(1) for m in (_GLIBC_NEEDED.search(t) for t in tried) if m]
    why = ""
    if needed:
        why = "; the library beside the package needs glibc %s or later" % needed[0]
    return (
        "cannot find the quobrix-textfile library for %s%s; tried %s. To use it here, "
        "build the library from source (the project's README, \"Build from source\"): in a "
        "checkout, cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTF_BUILD_TESTS=OFF and "
        "cmake --build build -j, then set %s to the built library (%s in the checkout), or "
        "install it (cmake --install build) where the system's library search path finds it"
        % (_platform_name(), why, "; ".join(tried), ENVIRONMENT_VARIABLE, _built_name())
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


def free_string(pointer):
    library().tf_free_string(pointer)


def _call(name, args, failed, filename=None, f=None):
    """One call; a failure raises the TextFileError of its own message,
    repeating the call while the message read is plainly another call's."""
    f = f or function(name)
    read = _python_api().tf_last_error
    shared = None
    for attempt in range(ATTEMPTS):
        result = (f if attempt == 0 else _holding_gil(f, name))(*args)
        if not failed(result):
            return result
        message = read() or b""
        kind = _messages.verdict(name, args, message)
        if kind == _messages.OWN or (kind == _messages.SHARED and shared is not None):
            raise error_for(_text(message), filename)
        if kind == _messages.SHARED:
            shared = message
    if shared is not None:
        raise error_for(_text(shared), filename)
    raise MessageLostError(
        "%s failed, and its message was lost: other threads' calls replaced it each of "
        "%d times (the library keeps one last-error message for the whole process)"
        % (name, ATTEMPTS))


_python_api_library = None


def _python_api():
    """The library again, as functions that keep the GIL while they run:
    its message is read with no other thread of this interpreter running."""
    global _python_api_library
    if _python_api_library is None:
        lib = ctypes.PyDLL(library()._name, handle=library()._handle)
        lib.tf_last_error.restype = _c_str
        lib.tf_last_error.argtypes = []
        _python_api_library = lib
    return _python_api_library


def _holding_gil(f, name):
    """`f` as a function that keeps the GIL during the call, for a repeat:
    another thread of this interpreter can start a call of the library only
    once the GIL is given away after it (threads already inside one can
    write the message at any time)."""
    lib = _python_api()
    g = lib._FuncPtr((name, lib))
    g.argtypes, g.restype = f.argtypes, f.restype
    return g


def _text(message):
    return message.decode("utf-8", "replace") if message is not None else ""


def _negative(result):
    return result < 0


def _null(pointer):
    return not pointer


def call_int(name, *args, filename=None):
    """Calls an export that returns an int; -1 raises TextFileError (an
    OSError naming `filename` where the system said why)."""
    return _call(name, args, _negative, filename)


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
    pointer = function(name)(*args)
    if not pointer:
        return None
    return json.loads(_read(pointer, None).decode("utf-8"))


class _Taken:
    """An argument type whose conversion takes the handle out of its box:
    list.pop runs in C while ctypes prepares the call, with no Python code
    between it and the call of the library."""

    from_param = list.pop


def open_into(box, path, filename):
    """tf_open(path), its result appended to `box` (a list) inside the call:
    ctypes hands the result to box.append in C, so an exception can land
    before the call or after the handle is in the box, never in between.
    The box's owner closes what it holds. Raises TextFileError on failure."""
    f = library()._FuncPtr(("tf_open", library()))
    f.argtypes = [_c_str]
    f.restype = box.append

    def opened(_):
        if box[-1] >= 0:
            return False
        box.pop()
        return True

    _call("tf_open", (path,), opened, filename, f)


_close = None


def close_from(box):
    """tf_close of the handle in `box`, taken out of it by the call itself:
    neither closed twice (a reused number could be another document's) nor
    left open by an exception. tf_close never fails and sets no message."""
    global _close
    if _close is None:
        f = library()._FuncPtr(("tf_close", library()))
        f.argtypes = [_Taken]
        f.restype = _c_int
        _close = f
    if box:
        try:
            _close(box)
        except ctypes.ArgumentError:  # another thread emptied the box meanwhile
            pass
