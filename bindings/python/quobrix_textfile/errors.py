"""The exceptions of the quobrix_textfile package."""

import errno as _errno
import os as _os
import re as _re
from typing import Dict, Optional, Type


class TextFileError(Exception):
    """A failure reported by the library, carrying its message.

    ``str(error)`` and ``error.message`` are the library's message word for
    word, for instance ``"invalid handle"`` or
    ``"cannot open 'x.txt': No such file or directory"``. Also raised when
    the shared library cannot be loaded or lacks a function.

    Where the message ends in the system's text for an error number, the
    error is also the matching ``OSError`` subclass with ``errno`` and
    ``strerror`` set, so ``except FileNotFoundError`` catches a missing file.
    """

    message: str

    def __init__(self, message: str) -> None:
        super().__init__(message)
        self.message = message

    def __str__(self) -> str:
        return self.message


class FileTooLargeError(TextFileError, OSError):
    """open(): the file is larger than the library takes (500 MiB,
    524,288,000 bytes). Also an OSError with errno EFBIG."""


class TooManyOpenError(TextFileError, OSError):
    """open(): all 64 handles of the library are in use (after the garbage
    collector freed what it could). Also an OSError with errno EMFILE."""


class UnsupportedEncodingError(TextFileError, LookupError):
    """save() or save_text() with an encoding other than "utf8", "utf8-bom"
    and "utf16le". Also a LookupError, as for an unknown codec."""


class TextTooLargeError(TextFileError):
    """full() or full_bytes() of a text over 64 MiB (67,108,864 bytes): read
    it with pages() instead. `size` and `limit` are in bytes."""

    size: int
    limit: int


class MessageLostError(TextFileError):
    """The call failed, but the library's message for it was replaced by
    other threads' calls every time it was read (the library keeps one
    last-error message for the whole process)."""


# The library's messages that end in "<what>: <the system's text>".
_SYSTEM_TEXT_PREFIXES = ("cannot open '", "cannot create temp file '", "write failed: ",
                         "fflush failed: ", "directory sync failed: ")
_RENAME_FAILED = "rename failed: Win32 error "
# On Windows the rename's code is a Win32 error: the ones a save meets.
_WIN32_ERRNO = {2: _errno.ENOENT, 3: _errno.ENOENT, 5: _errno.EACCES, 32: _errno.EACCES}
_ERRNO_BY_TEXT: Dict[str, int] = {}
for _number in sorted(_errno.errorcode, reverse=True):  # the lowest number wins
    _ERRNO_BY_TEXT[_os.strerror(_number)] = _number
_KINDS: Dict[Type[OSError], Type[TextFileError]] = {}
_PRECISE = [
    (_re.compile(r"file too large \(\d+ bytes; max \d+\)\Z"), FileTooLargeError, _errno.EFBIG),
    (_re.compile(r"too many open handles \(max \d+\)\Z"), TooManyOpenError, _errno.EMFILE),
    (_re.compile(r"unsupported encoding '.*' \(use utf8\|utf8-bom\|utf16le\)\Z", _re.S),
     UnsupportedEncodingError, None),
    (_re.compile(r"'.*' is a directory\Z", _re.S), None, _errno.EISDIR),
]


def _kind(base: Type[OSError]) -> Type[TextFileError]:
    kind = _KINDS.get(base)
    if kind is None:
        name = "TextFile" + base.__name__.replace("Error", "") + "Error"
        kind = _KINDS[base] = type(name, (TextFileError, base), {"__module__": __name__})
    return kind


def _as_os_error(kind: Type[TextFileError], message: str, number: int,
                 filename: Optional[str]) -> TextFileError:
    strerror = _os.strerror(number)
    error = kind.__new__(kind, number, strerror)  # type: ignore[call-arg]
    OSError.__init__(error, number, strerror, filename)  # type: ignore[arg-type]
    error.message = message
    return error


def _errno_of(message: str, filename: Optional[str]) -> Optional[int]:
    if message.startswith(_SYSTEM_TEXT_PREFIXES):
        return _ERRNO_BY_TEXT.get(message.rpartition(": ")[2])
    if message.startswith(_RENAME_FAILED) and message[len(_RENAME_FAILED):].isdigit():
        # The save's target is a directory: refused as such on every system.
        if filename is not None and _os.path.isdir(filename):
            return _errno.EISDIR
        code = int(message[len(_RENAME_FAILED):])
        return _WIN32_ERRNO.get(code) if _os.name == "nt" else code
    return None


def error_for(message: str, filename: Optional[str] = None) -> TextFileError:
    """The exception for a failure with the library's `message`; `filename`
    is the path the call was given, when it took one."""
    for pattern, kind, number in _PRECISE:
        if pattern.match(message):
            if kind is None:
                kind = _kind(type(OSError(number, "")))
            if number is None:
                return kind(message)
            return _as_os_error(kind, message, number, filename)
    number = _errno_of(message, filename)
    if number is None or number not in _errno.errorcode:
        return TextFileError(message)
    return _as_os_error(_kind(type(OSError(number, ""))), message, number, filename)
