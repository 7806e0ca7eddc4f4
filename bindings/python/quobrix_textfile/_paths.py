"""Paths as the library takes them: narrow byte strings handed to the file
calls unchanged.

On Windows those calls read the ANSI code page, so a str path is encoded in
it with the `mbcs` codec in strict mode (no best-fit substitute, which could
name another file): a name the code page cannot express is refused. Elsewhere
os.fsencode gives the bytes the file calls take. bytes pass unchanged.
"""

import os
import sys


class Platform:
    """What the conversion needs to know of the system: its name (as
    sys.platform says it), and on Windows the codec of the ANSI code page and
    that code page's number."""

    def __init__(self, name, codec=None, code_page=None):
        self.name = name
        self.codec = codec
        self.code_page = code_page


def _this_platform():
    if sys.platform != "win32":
        return Platform(sys.platform)
    try:
        import _winapi  # noqa: PLC0415 - Windows only

        code_page = _winapi.GetACP()
    except (ImportError, AttributeError):
        import ctypes  # noqa: PLC0415

        code_page = ctypes.windll.kernel32.GetACP()
    return Platform("win32", "mbcs", code_page)


_platform = None


def platform():
    global _platform
    if _platform is None:
        _platform = _this_platform()
    return _platform


def native_path(path, system=None):
    """`path` (str, bytes or os.PathLike) as the bytes the library gets.
    Raises ValueError (UnicodeEncodeError) for a Windows name that the ANSI
    code page cannot express, naming the code page."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    system = system or platform()
    if system.name != "win32":
        return os.fsencode(path)
    try:
        return path.encode(system.codec, "strict")
    except UnicodeEncodeError as error:
        raise UnicodeEncodeError(
            error.encoding,
            error.object,
            error.start,
            error.end,
            "the path %r cannot be passed to the library: the ANSI code page %s (this "
            "system's narrow path encoding) cannot express it; rename the file, or pass "
            "the path as bytes in code page %s" % (path, system.code_page, system.code_page),
        ) from None
