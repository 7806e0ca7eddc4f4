"""Document: one open file of the library, and the module-level functions."""

import gc
import operator
import os
import threading
import weakref
from typing import Any, Dict, Iterator, List, Optional, Tuple, Union, cast

from . import _library, _paths
from ._types import (Hit, Info, LineCol, Page, ReplacePreview, SaveEncoding, SearchResult,
                     Stats, Unit)
from .errors import TextFileError, TextTooLargeError, TooManyOpenError

#: What a path may be: str, bytes or an os.PathLike of either.
PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
#: Text or bytes taken as UTF-8.
TextArg = Union[str, bytes, bytearray, memoryview]
JsonResult = Dict[str, Any]

#: Page size of Document.text() and Document.pages() when none is given.
DEFAULT_PAGE_BYTES = 65536

_INT64 = (-(1 << 63), (1 << 63) - 1)
_INT32 = (-(1 << 31), (1 << 31) - 1)

# tf_text refuses a page that ends inside a character with this message.
_CUT_INSIDE_CHARACTER = "failed to serialize JSON"
#: The largest text full() and full_bytes() return (64 MiB).
FULL_LIMIT = 67108864
# The library's hit limits: for max_hits 0 or less, and at most.
_DEFAULT_HITS = 100
_MAX_HITS = 100000
# Pieces of this many bytes when the package walks the text itself.
_WALK_BYTES = 1 << 20
# The bytes that continue a UTF-8 character: every other byte starts one.
_CONTINUATION = bytes(range(0x80, 0xC0))

# Every document's box (the list that holds its handle), by a weak reference
# to the document whose callback is _dropped.append: C code that no exception
# can interrupt. A document dropped while an exception cut its close short
# (in __exit__, close() or __del__) is found there and closed by the next
# open(), so no handle is lost to a KeyboardInterrupt.
_boxes: "Dict[weakref.ref[Document], List[int]]" = {}
_dropped: "List[weakref.ref[Document]]" = []


def _sweep() -> None:
    """Closes the handles of the documents that were dropped open. Every step
    can be repeated, so an exception anywhere leaves the rest to the next."""
    for ref in list(_dropped):
        box = _boxes.get(ref)
        if box:
            _library.close_from(box)
        _boxes.pop(ref, None)
        try:
            _dropped.remove(ref)
        except ValueError:  # another thread's sweep was quicker
            pass


def _after_fork_in_child() -> None:
    """Another thread's query may have held a document's lock at the fork;
    that thread is gone in the child, and so is the query."""
    for ref in list(_boxes):
        doc = ref()
        if doc is not None:
            doc._lock = threading.RLock()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_after_fork_in_child)


def _code_points(data: bytes) -> int:
    """Characters that start in `data` (UTF-8): what the library's "chars"
    counts, and len() of the str when `data` is whole characters."""
    return len(data.translate(None, _CONTINUATION))


def _has_border(query: bytes) -> bool:
    """True when occurrences of `query` can overlap ('aa', 'abab')."""
    return any(query[:k] == query[-k:] for k in range(1, len(query)))


def _unit(unit: str) -> bool:
    """True for "chars", False for "bytes"."""
    if unit not in ("bytes", "chars"):
        raise ValueError("unit must be \"bytes\" or \"chars\", not %r" % (unit,))
    return unit == "chars"


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
    FileNotFoundError, PermissionError... where the system said why, with
    `filename` set); FileTooLargeError for a file over 500 MiB.

    When all 64 handles are in use, documents that nobody closed may still
    hold some until the garbage collector finds them: it runs once and the
    open is tried again; TooManyOpenError when they are still in use."""
    data = _c_path(path)
    filename = os.fspath(path)
    # The document exists before its handle: an exception that arrives just
    # after the open leaves the handle in the box, and the dropped document
    # closes it.
    _sweep()
    doc = Document(None, path)
    try:
        _library.open_into(doc._box, data, filename)
    except TooManyOpenError:
        gc.collect()
        _sweep()
        _library.open_into(doc._box, data, filename)
    return doc


def save_text(text: TextArg, path: PathArg, encoding: SaveEncoding) -> None:
    """Writes `text` (str, encoded as UTF-8, or bytes taken as UTF-8) to `path`
    in `encoding` ("utf8", "utf8-bom" or "utf16le") through a temporary file
    and an atomic replace. 0x00 characters are written like any other.
    UnsupportedEncodingError (a LookupError) for any other encoding;
    IsADirectoryError when `path` is a directory."""
    if isinstance(text, str):
        data = text.encode("utf-8")
    elif isinstance(text, (bytes, bytearray, memoryview)):
        data = bytes(text)
    else:
        raise TypeError("text must be str or bytes, not %s" % type(text).__name__)
    if len(data) > _INT32[1]:
        raise ValueError("text too long to save (%d bytes; max %d)" % (len(data), _INT32[1]))
    _library.call_int("tf_save_text", data, len(data), _c_path(path),
                      _c_string(encoding, "encoding"), filename=os.fspath(path))


def version() -> str:
    """The library's version, for instance "1.0.1"."""
    return _library.function("tf_version")().decode("ascii")


class Document:
    """An open file: the decoded UTF-8 text and what was detected.

    Offsets and lengths are byte counts in the decoded UTF-8 text, the
    library's unit, unless a method takes unit="chars": then they count code
    points, as indexes and len() of a str do. Results beside a byte position
    X give "char_X", the same position in code points, so a hit slices the
    str of full(): ``text[hit["char_offset"]:hit["char_offset"] +
    hit["char_length"]]``. Every failure of the library raises TextFileError
    with its message; using a closed document raises ValueError. A document
    may be shared by threads.
    """

    path: PathArg

    def __init__(self, handle: Optional[int], path: PathArg) -> None:
        # The handle lives in a list that the library's calls fill and empty
        # themselves (_library.open_into, _library.close_from).
        self._box: List[int] = [] if handle is None else [handle]
        self._lock = threading.RLock()
        self.path = path
        _boxes[weakref.ref(self, _dropped.append)] = self._box

    # ---- lifetime ----------------------------------------------------------

    @property
    def closed(self) -> bool:
        return not self._box

    @property
    def handle(self) -> int:
        """The library's handle (0..63)."""
        with self._lock:
            if not self._box:
                raise ValueError("document is closed")
            return self._box[0]

    def close(self) -> None:
        """Releases the handle; closing again does nothing."""
        with self._lock:
            _library.close_from(self._box)

    def __enter__(self) -> "Document":
        self.handle  # noqa: B018 - refuses a closed document
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            if getattr(self, "_box", None):
                self.close()
        except Exception:  # noqa: BLE001 - the interpreter may be shutting down
            pass

    def __repr__(self) -> str:
        box = self._box
        state = "handle %d" % box[0] if box else "closed"
        return "<quobrix_textfile.Document %r, %s>" % (self.path, state)

    # ---- queries -----------------------------------------------------------

    def _json(self, name: str, *args: Any) -> JsonResult:
        with self._lock:
            return _library.call_json(name, self.handle, *args)

    def info(self) -> Info:
        """encoding, had_bom, line_ending, bytes, raw_bytes, lines, sanitized."""
        return cast(Info, self._json("tf_info"))

    def stats(self) -> Stats:
        """lines, words, chars (code points), bytes. A word is a run of word
        bytes: ASCII letters, digits, '_' and every byte of a non-ASCII
        character; every other byte (space, punctuation, control bytes) ends
        it. So "don't stop" is 3 words (don, t, stop), "état-major" 2, and a
        non-ASCII space or dash (U+00A0, U+2014) joins the words beside it."""
        return cast(Stats, self._json("tf_stats"))

    def linecol(self, offset: int, unit: Unit = "bytes") -> LineCol:
        """{"line", "col", "char_col"} of a position (all 1-based): "col"
        counts bytes from the line's start, "char_col" code points. `offset`
        counts bytes, or code points with unit="chars"; it is clamped to the
        text. Costs a scan from the start of the text, as the library's."""
        chars = _unit(unit)
        with self._lock:
            offset = self._byte_offset(offset) if chars else _clamped(offset, _INT64)
            found = self._json("tf_linecol", offset)
            position = self._json("tf_text", offset, 0)["next_offset"]  # clamped
            start = position - (found["col"] - 1)
            found["char_col"] = 1 + self._code_points_between(start, position)
            return cast(LineCol, found)

    def text(self, offset: int = 0, length: int = DEFAULT_PAGE_BYTES,
             unit: Unit = "bytes") -> Page:
        """{"text", "next_offset"}: the page of at most `length` units at
        `offset`, "next_offset" just past it, in the same unit.

        unit="bytes" (the library's page): cut at exactly those bytes; a page
        that would end inside a character raises
        TextFileError("failed to serialize JSON") (pages() never does), and
        "text" ends at a 0x00 byte of the page. unit="chars": `offset` and
        `length` count code points, as str indexes do, so
        ``text(i, n, unit="chars")["text"] == full()[i:i + n]``; it costs a
        walk from the start of the text to the page."""
        if not _unit(unit):
            return cast(Page, self._json("tf_text", _clamped(offset, _INT64),
                                         _clamped(length, _INT32)))
        offset, length = max(operator.index(offset), 0), max(operator.index(length), 0)
        pieces: List[str] = []
        seen = 0  # characters before the current piece
        for _, piece in self._pieces():
            end = seen + len(piece)
            if end > offset:
                pieces.append(piece[max(offset - seen, 0):offset + length - seen])
                if end >= offset + length:
                    break
            seen = end
        text = "".join(pieces)
        begin = offset if pieces else min(offset, seen)
        return Page(text=text, next_offset=begin + len(text))

    def search(self, query: TextArg, case_insensitive: bool = False,
               max_hits: int = 0) -> SearchResult:
        """{"count", "query_len", "hits", "truncated"}: the byte-wise
        occurrences of `query`, overlapping ones included, in order. Folding
        is ASCII-only. At most `max_hits` hits (100 for 0 or less, 100,000
        at most): "count" is the number of hits returned, and "truncated" is
        True when occurrences were left out; count() counts them all. Each
        hit is {"offset", "length", "char_offset", "char_length"}: bytes,
        and code points into the str of full(). The code points cost a walk
        through the text up to the last hit."""
        data = _c_string(query, "query")
        max_hits = operator.index(max_hits)
        want = _DEFAULT_HITS if max_hits <= 0 else min(max_hits, _MAX_HITS)
        with self._lock:
            offsets = self._hits(data, case_insensitive, min(want + 1, _MAX_HITS))
            truncated = len(offsets) > want
            del offsets[want:]
            if len(offsets) == _MAX_HITS and not truncated:  # the library's limit
                truncated = self._occurrences(data, case_insensitive, offsets[-1], True) > 0
            chars = self._char_offsets(offsets)
        length = _code_points(data)
        hits = [Hit(offset=o, length=len(data), char_offset=c, char_length=length)
                for o, c in zip(offsets, chars)]
        return SearchResult(count=len(hits), query_len=len(data), hits=hits, truncated=truncated)

    def count(self, query: TextArg, case_insensitive: bool = False) -> int:
        """The number of occurrences of `query`, all of them: the hits that
        search() would give without a limit (byte-wise, overlapping ones
        included, ASCII-only folding), so "aa" occurs 3 times in "aaaa".
        replace_preview()'s "count" counts replacements, which never overlap
        (2 there), like str.count. Up to 100,000 occurrences the library
        counts them; past that the package reads the text page by page."""
        data = _c_string(query, "query")
        with self._lock:
            found = len(self._hits(data, case_insensitive, _MAX_HITS))
            if found < _MAX_HITS:
                return found
            return self._occurrences(data, case_insensitive, -1, False)

    def replace_preview(self, find: TextArg, repl: TextArg,
                        case_insensitive: bool = False) -> ReplacePreview:
        """{"count", "text"[, "truncated"]}: the text after replacing every
        occurrence of `find` by `repl`, left to right without overlaps ("count"
        replacements); "text" is cut to its first 1 MiB, with "truncated"
        True; the document itself is unchanged."""
        return cast(ReplacePreview, self._json(
            "tf_replace_preview",
            _c_string(find, "find"),
            _c_string(repl, "repl"),
            1 if case_insensitive else 0,
        ))

    def full_bytes(self) -> bytes:
        """The whole decoded text as UTF-8 bytes, 0x00 bytes included, for
        texts up to 64 MiB (67,108,864 bytes); a longer one raises
        TextTooLargeError: read it with pages()."""
        with self._lock:
            length = self.info()["bytes"]
            if length > FULL_LIMIT:
                error = TextTooLargeError(
                    "text too large for full() (%d bytes; max %d, 64 MiB); read it with "
                    "pages()" % (length, FULL_LIMIT))
                error.size, error.limit = length, FULL_LIMIT
                raise error
            return _library.call_bytes("tf_full", length, self.handle)

    def full(self) -> str:
        """The whole decoded text as str (see full_bytes)."""
        return self.full_bytes().decode("utf-8")

    # ---- the package's own walks through the text ---------------------------

    def _hits(self, data: bytes, case_insensitive: bool, limit: int) -> List[int]:
        """The byte offsets of the library's search, at most `limit`."""
        found = self._json("tf_search", data, 1 if case_insensitive else 0, limit)
        return [hit["offset"] for hit in found["hits"]]

    def _pieces(self, offset: int = 0) -> Iterator[Tuple[int, str]]:
        """(byte offset, piece) through the text from `offset` (a character
        boundary) to its end; len(piece.encode()) bytes each."""
        while True:
            text, consumed = cast(Tuple[str, int], self._page(offset, _WALK_BYTES, True))
            if consumed == 0:
                return
            yield offset, text
            offset += consumed

    def _chunks(self, start: int = 0, end: Optional[int] = None) -> Iterator[Tuple[int, bytes]]:
        """(byte offset, bytes) through the text from `start` (a character
        boundary) to `end` or beyond: pages for a short stretch, else all of
        it from tf_full when the text is within its limit (one copy, no
        JSON)."""
        short = end is not None and end - start <= 4 * _WALK_BYTES
        with self._lock:
            length = self._json("tf_text", _INT64[1], 0)["next_offset"]  # clamped: the end
            whole = (_library.call_bytes("tf_full", length, self.handle)
                     if length <= FULL_LIMIT and not short else None)
        if whole is not None:
            if start < length:
                yield start, whole[start:end]
            return
        for at, piece in self._pieces(start):
            data = piece.encode("utf-8")
            yield at, data
            if end is not None and at + len(data) >= end:
                return

    def _char_offsets(self, offsets: List[int]) -> List[int]:
        """The code points before each of the ascending byte `offsets`, in one
        walk through the text (up to the last of them)."""
        result: List[int] = []
        seen = 0  # code points before the chunk
        if not offsets:
            return result
        for start, data in self._chunks(0, offsets[-1] + 1):
            at, counted = 0, seen
            while len(result) < len(offsets) and offsets[len(result)] < start + len(data):
                to = offsets[len(result)] - start
                counted += _code_points(data[at:to])
                at = to
                result.append(counted)
            if len(result) == len(offsets):
                break
            seen = counted + _code_points(data[at:])
        return result + [seen] * (len(offsets) - len(result))

    def _byte_offset(self, chars: int) -> int:
        """The byte offset of code point `chars` (clamped to the text)."""
        chars = max(operator.index(chars), 0)
        seen, end = 0, 0
        for start, piece in self._pieces():
            if seen + len(piece) > chars:
                return start + len(piece[:chars - seen].encode("utf-8"))
            seen += len(piece)
            end = start + len(piece.encode("utf-8"))
        return end

    def _code_points_between(self, start: int, end: int) -> int:
        """Characters that start in bytes [start, end); start is on a
        character boundary, end may be inside a character."""
        counted = 0
        for at, data in self._chunks(start, end):
            if at >= end:
                break
            counted += _code_points(data[:end - at])
        return counted

    def _occurrences(self, data: bytes, case_insensitive: bool, after: int,
                     first: bool) -> int:
        """Occurrences of `data` that start after byte `after`, as the
        library's search finds them, counted by reading the text (only the
        first, with `first`)."""
        if not data:
            return 0
        query = data.lower() if case_insensitive else data  # ASCII-only, as the library
        overlapping = _has_border(query)
        total, tail = 0, b""
        for start, chunk in self._chunks():
            chunk = tail + (chunk.lower() if case_insensitive else chunk)
            base = start - len(tail)  # every occurrence in chunk is new: tail < query
            at = max(after + 1 - base, 0)
            if overlapping:
                at = chunk.find(query, at)
                while at >= 0:
                    total += 1
                    at = -1 if first else chunk.find(query, at + 1)
            else:
                total += chunk.count(query, at)
            if first and total:
                return total
            tail = chunk[-(len(query) - 1):] if len(query) > 1 else b""
        return total

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

    def pages(self, size: int = DEFAULT_PAGE_BYTES, unit: Unit = "bytes") -> Iterator[str]:
        """Yields the decoded text as str pieces of at most `size` UTF-8 bytes
        each (more only when one character alone is longer), never cutting a
        character; with unit="chars", pieces of `size` code points (the last
        one shorter). "".join(pages(n)) == full() for any n. Works for texts
        of any size."""
        size = operator.index(size)
        if size < 1:
            raise ValueError("page size must be at least 1")
        if _unit(unit):
            rest = ""
            for _, piece in self._pieces():
                at = size - len(rest)
                if at > len(piece):
                    rest += piece
                    continue
                yield rest + piece[:at]
                while at + size <= len(piece):
                    yield piece[at:at + size]
                    at += size
                rest = piece[at:]
            if rest:
                yield rest
            return
        size = min(size, _INT32[1] - 3)
        offset = 0
        while True:
            pieces: List[str] = []
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

    def save(self, path: PathArg, encoding: SaveEncoding) -> None:
        """Writes the decoded text to `path` in `encoding` ("utf8", "utf8-bom"
        or "utf16le") through a temporary file and an atomic replace. The
        document still reports the encoding it was opened with.
        UnsupportedEncodingError (a LookupError) for any other encoding;
        IsADirectoryError when `path` is a directory."""
        with self._lock:
            _library.call_int("tf_save", self.handle, _c_path(path),
                              _c_string(encoding, "encoding"), filename=os.fspath(path))
