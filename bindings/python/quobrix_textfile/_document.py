"""Document: one open file of the library, and the module-level functions."""

import gc
import operator
import os  # noqa: F401 (the PathArg annotation names os.PathLike)
import threading
from typing import Any, Dict, Iterator, Optional, Tuple, Union

from . import _library, _paths
from .errors import TextFileError

#: What a path may be: str, bytes or an os.PathLike of either.
PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
#: Text or bytes taken as UTF-8.
TextArg = Union[str, bytes, bytearray, memoryview]
JsonResult = Dict[str, Any]

#: Page size of Document.text() and Document.pages() when none is given.
DEFAULT_PAGE_BYTES = 65536

_INT64 = (-(1 << 63), (1 << 63) - 1)
_INT32 = (-(1 << 31), (1 << 31) - 1)
_INT = _INT32

# tf_text refuses a page that ends inside a character with this message.
_CUT_INSIDE_CHARACTER = "failed to serialize JSON"
# tf_open's message when all 64 handles are in use.
_NO_FREE_HANDLE = "too many open handles (max 64)"


def _clamped(value: int, bounds: Tuple[int, int]) -> int:
    """An int argument, clamped to the C type's range. Every such argument is
    clamped by the library as well (offsets to the text, sizes to 0, hit
    counts to the limit), so clamping here changes no result."""
    value = operator.index(value)
    return min(max(value, bounds[0]), bounds[1])


def _c_string(value: TextArg, what: str) -> bytes:
    """str as UTF-8, or bytes as they are; the library reads up to a 0x00 byte,
    so one inside would silently cut the argument: refused instead."""
    if isinstance(value, str):
        data = value.encode("utf-8")
    elif isinstance(value, (bytes, bytearray, memoryview)):
        data = bytes(value)
    else:
        raise TypeError("%s must be str or bytes, not %s" % (what, type(value).__name__))
    if b"\0" in data:
        raise ValueError("%s contains a 0x00 byte" % what)
    return data


def _c_path(path: PathArg) -> bytes:
    data = _paths.native_path(path)
    if b"\0" in data:
        raise ValueError("embedded null byte in path")
    return data


def open(path: PathArg) -> "Document":  # noqa: A001 - the package's entry point
    """Reads the file at `path` (str, bytes or os.PathLike), detects its
    encoding and decodes it. Returns a Document; use it as a context manager
    or call close(). Raises TextFileError with the library's message (also a
    FileNotFoundError, PermissionError... where the system said why).

    When all 64 handles are in use, documents that nobody closed may still
    hold some until the garbage collector finds them: it runs once and the
    open is tried again."""
    data = _c_path(path)
    try:
        handle = _library.call_int("tf_open", data)
    except TextFileError as error:
        if error.message != _NO_FREE_HANDLE:
            raise
        gc.collect()
        handle = _library.call_int("tf_open", data)
    return Document(handle, path)


def save_text(text: TextArg, path: PathArg, encoding: str) -> None:
    """Writes `text` (str, encoded as UTF-8, or bytes taken as UTF-8) to `path`
    in `encoding` ("utf8", "utf8-bom" or "utf16le") through a temporary file
    and an atomic replace. 0x00 characters are written like any other."""
    if isinstance(text, str):
        data = text.encode("utf-8")
    elif isinstance(text, (bytes, bytearray, memoryview)):
        data = bytes(text)
    else:
        raise TypeError("text must be str or bytes, not %s" % type(text).__name__)
    if len(data) > _INT32[1]:
        raise ValueError("text too long to save (%d bytes; max %d)" % (len(data), _INT32[1]))
    _library.call_int(
        "tf_save_text", data, len(data), _c_path(path), _c_string(encoding, "encoding")
    )


def version() -> str:
    """The library's version, for instance "1.0.1"."""
    return _library.function("tf_version")().decode("ascii")


class Document:
    """An open file: the decoded UTF-8 text and what was detected.

    Offsets and lengths are byte counts in the decoded UTF-8 text. Results of
    the JSON queries come back as dicts with the library's members. Every
    failure of the library raises TextFileError with its message; using a
    closed document raises ValueError. A document may be shared by threads.
    """

    path: PathArg

    def __init__(self, handle: int, path: PathArg) -> None:
        self._handle = handle
        self._lock = threading.RLock()
        self.path = path

    # ---- lifetime ----------------------------------------------------------

    @property
    def closed(self) -> bool:
        return self._handle is None

    @property
    def handle(self) -> int:
        """The library's handle (0..63)."""
        with self._lock:
            if self._handle is None:
                raise ValueError("document is closed")
            return self._handle

    def close(self) -> None:
        """Releases the handle; closing again does nothing."""
        with self._lock:
            if self._handle is not None:
                handle, self._handle = self._handle, None
                _library.close(handle)

    def __enter__(self) -> "Document":
        self.handle  # noqa: B018 - refuses a closed document
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            if getattr(self, "_handle", None) is not None:
                self.close()
        except Exception:  # noqa: BLE001 - the interpreter may be shutting down
            pass

    def __repr__(self) -> str:
        state = "closed" if self.closed else "handle %d" % self._handle
        return "<quobrix_textfile.Document %r, %s>" % (self.path, state)

    # ---- queries -----------------------------------------------------------

    def _json(self, name: str, *args: Any) -> JsonResult:
        with self._lock:
            return _library.call_json(name, self.handle, *args)

    def info(self) -> JsonResult:
        """encoding, had_bom, line_ending, bytes, raw_bytes, lines, sanitized."""
        return self._json("tf_info")

    def stats(self) -> JsonResult:
        """lines, words, chars, bytes."""
        return self._json("tf_stats")

    def linecol(self, offset: int) -> JsonResult:
        """{"line": ..., "col": ...} of a byte offset (1-based; col in bytes)."""
        return self._json("tf_linecol", _clamped(offset, _INT64))

    def text(self, offset: int = 0, max_bytes: int = DEFAULT_PAGE_BYTES) -> JsonResult:
        """{"text": ..., "next_offset": ...}: the page of at most `max_bytes`
        bytes at `offset`, cut at exactly those bytes. A page that would end
        inside a character raises TextFileError("failed to serialize JSON");
        pages() never does. "text" ends at a 0x00 byte of the page."""
        return self._json("tf_text", _clamped(offset, _INT64), _clamped(max_bytes, _INT32))

    def search(self, query: TextArg, case_insensitive: bool = False,
               max_hits: int = 0) -> JsonResult:
        """{"count", "query_len", "hits": [{"offset", "length"}, ...]}: the
        byte-wise occurrences of `query`, overlapping ones included. Folding
        is ASCII-only. max_hits 0 means 100; at most 100,000."""
        return self._json(
            "tf_search",
            _c_string(query, "query"),
            1 if case_insensitive else 0,
            _clamped(max_hits, _INT),
        )

    def replace_preview(self, find: TextArg, repl: TextArg,
                        case_insensitive: bool = False) -> JsonResult:
        """{"count", "text"[, "truncated"]}: the text after replacing every
        occurrence of `find` by `repl`; the document itself is unchanged."""
        return self._json(
            "tf_replace_preview",
            _c_string(find, "find"),
            _c_string(repl, "repl"),
            1 if case_insensitive else 0,
        )

    def full_bytes(self) -> bytes:
        """The whole decoded text as UTF-8 bytes, 0x00 bytes included (up to
        64 MiB; larger texts raise TextFileError: use pages())."""
        with self._lock:
            length = self.info()["bytes"]
            return _library.call_bytes("tf_full", length, self.handle)

    def full(self) -> str:
        """The whole decoded text as str (see full_bytes)."""
        return self.full_bytes().decode("utf-8")

    def _page(self, offset: int, want: int, may_exceed: bool) -> Optional[Tuple[str, int]]:
        """(text, bytes consumed) of the text at `offset`: up to `want` bytes,
        ending on a character boundary and just after a 0x00 byte if there is
        one. (None when nothing fits and not `may_exceed`.) tf_text refuses a
        page that ends inside a character; a UTF-8 character is at most 4 bytes,
        so up to 3 bytes less, or more, find the boundary."""
        tries = [n for n in range(want, want - 4, -1) if n >= 1]
        if may_exceed:
            tries += [want + 1, want + 2, want + 3]
        for n in tries:
            page = self._probe(offset, n)
            if page is None:
                continue
            text = page["text"]
            span = page["next_offset"] - offset
            length = len(text.encode("utf-8"))
            if length < span:  # "text" stopped at a 0x00 byte
                return text + "\0", length + 1
            return text, span
        if may_exceed:
            # Every size failed: the library says why.
            self.text(offset, tries[-1])
            raise TextFileError(_CUT_INSIDE_CHARACTER)
        return None

    def _probe(self, offset: int, max_bytes: int) -> Optional[JsonResult]:
        """text(), or None when the page cannot be written (it ends inside a
        character), without reading the message."""
        with self._lock:
            return _library.try_json("tf_text", self.handle, offset, _clamped(max_bytes, _INT32))

    def pages(self, size: int = DEFAULT_PAGE_BYTES) -> Iterator[str]:
        """Yields the decoded text as str pieces of at most `size` UTF-8 bytes
        each (more only when one character alone is longer), never cutting a
        character; "".join(pages(n)) == full() for any n. Works for texts of
        any size."""
        size = operator.index(size)
        if size < 1:
            raise ValueError("page size must be at least 1")
        size = min(size, _INT32[1] - 3)
        offset = 0
        while True:
            pieces = []
            filled = 0
            while filled < size:
                got = self._page(offset, size - filled, may_exceed=not pieces)
                if got is None:
                    break
                text, consumed = got
                if consumed == 0:
                    if pieces:
                        yield "".join(pieces)
                    return
                pieces.append(text)
                filled += consumed
                offset += consumed
            yield "".join(pieces)

    # ---- saving ------------------------------------------------------------

    def save(self, path: PathArg, encoding: str) -> None:
        """Writes the decoded text to `path` in `encoding` ("utf8", "utf8-bom"
        or "utf16le") through a temporary file and an atomic replace. The
        document still reports the encoding it was opened with."""
        with self._lock:
            _library.call_int(
                "tf_save", self.handle, _c_path(path), _c_string(encoding, "encoding")
            )
