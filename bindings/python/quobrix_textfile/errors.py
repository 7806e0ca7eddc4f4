"""The exceptions of the quobrix_textfile package."""

import errno as _errno
import os as _os
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


# The library's messages that end in "<what>: <the system's text>".
_SYSTEM_TEXT_PREFIXES = ("cannot open '", "cannot create temp file '", "write failed: ",
                         "fflush failed: ", "directory sync failed: ")
_ERRNO_BY_TEXT: Dict[str, int] = {}
for _number in sorted(_errno.errorcode, reverse=True):  # the lowest number wins
    _ERRNO_BY_TEXT[_os.strerror(_number)] = _number
_KINDS: Dict[Type[OSError], Type[TextFileError]] = {}


def _kind(base: Type[OSError]) -> Type[TextFileError]:
    kind = _KINDS.get(base)
    if kind is None:
        name = "TextFile" + base.__name__.replace("Error", "") + "Error"
        kind = _KINDS[base] = type(name, (TextFileError, base), {"__module__": __name__})
    return kind


def error_for(message: str, filename: Optional[str] = None) -> TextFileError:
    """The exception for a failure with the library's `message`."""
    number = None
    if message.startswith(_SYSTEM_TEXT_PREFIXES):
        number = _ERRNO_BY_TEXT.get(message.rpartition(": ")[2])
    if number is None:
        return TextFileError(message)
    strerror = _os.strerror(number)
    kind = _kind(type(OSError(number, strerror)))
    error = kind.__new__(kind, number, strerror)
    OSError.__init__(error, number, strerror, filename)
    error.message = message
    return error
