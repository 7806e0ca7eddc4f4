"""quobrix_textfile: plain-text files in UTF-8, UTF-8 with BOM, UTF-16LE with
BOM or a single-byte encoding ("ansi"), decoded to UTF-8 once and queried.

    import quobrix_textfile as qt

    with qt.open("notes.txt") as doc:
        print(doc.info()["encoding"])
        text = doc.full()
        doc.save("notes-utf8.txt", "utf8")

Pure Python over ctypes. The shared library is found through the environment
variable QUOBRIX_TEXTFILE_LIBRARY, then beside this package, then on the
system's library search path. Failures of the library raise TextFileError
carrying its message. Offsets count bytes of the decoded UTF-8 text; the
methods that take unit="chars" count code points, as str indexes do.
"""

from ._document import DEFAULT_PAGE_BYTES, FULL_LIMIT, Document, open, save_text, version
from ._types import (FileEncoding, Hit, Info, LineCol, LineEnding, Page, ReplacePreview,
                     SaveEncoding, SearchResult, Stats, Unit)
from .errors import (FileTooLargeError, MessageLostError, TextFileError, TextTooLargeError,
                     TooManyOpenError, UnsupportedEncodingError)

__all__ = [
    "DEFAULT_PAGE_BYTES",
    "FULL_LIMIT",
    "Document",
    "FileEncoding",
    "FileTooLargeError",
    "Hit",
    "Info",
    "LineCol",
    "LineEnding",
    "MessageLostError",
    "Page",
    "ReplacePreview",
    "SaveEncoding",
    "SearchResult",
    "Stats",
    "TextFileError",
    "TextTooLargeError",
    "TooManyOpenError",
    "Unit",
    "UnsupportedEncodingError",
    "open",
    "save_text",
    "version",
]
__version__ = "1.0.1"
