"""The shapes of the results, for type checkers: the library's JSON members,
plus the package's own ("truncated" of a search, and beside every byte
position X its position in code points, "char_X")."""

from typing import List, Literal, TypedDict

#: What save() and save_text() write.
SaveEncoding = Literal["utf8", "utf8-bom", "utf16le"]
#: What info() reports: the save encodings and the single-byte fallback.
FileEncoding = Literal["utf8", "utf8-bom", "utf16le", "ansi"]
LineEnding = Literal["lf", "crlf", "cr", "mixed"]
#: What offsets and lengths count: UTF-8 bytes (the library's unit) or code
#: points (what indexes a str).
Unit = Literal["bytes", "chars"]


class Info(TypedDict):
    encoding: FileEncoding
    had_bom: int
    line_ending: LineEnding
    bytes: int
    raw_bytes: int
    lines: int
    sanitized: int


class Stats(TypedDict):
    lines: int
    words: int
    chars: int
    bytes: int


class LineCol(TypedDict):
    line: int
    col: int
    char_col: int


class Page(TypedDict):
    text: str
    next_offset: int


class Hit(TypedDict):
    offset: int
    length: int
    char_offset: int
    char_length: int


class SearchResult(TypedDict):
    count: int
    query_len: int
    hits: List[Hit]
    truncated: bool


class _ReplacePreview(TypedDict):
    count: int


class ReplacePreview(_ReplacePreview, total=False):
    text: str
    truncated: bool
