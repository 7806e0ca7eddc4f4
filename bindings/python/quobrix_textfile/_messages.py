"""Whose is a last-error message that a failed call reads?

The library keeps one last-error message for the whole process, so another
thread's failure (or its tf_open, which empties the message) may replace a
call's message before the call reads it. A message read after a failure is
judged by what it says, never by waiting for other calls:

- OWN: it names this call's own arguments ("cannot open '<path>': ...",
  "unsupported encoding '<name>' ..."), or no other export can leave it
  ("search failed", "too many open handles (max 64)"). Raised at once.
- SHARED: this export can leave it, and so can others ("invalid handle",
  "out of memory"). The call is repeated once; read again, it is taken.
- FOREIGN: this call cannot have left it, so it was overwritten. The call
  is repeated (a bounded number of times, _library.ATTEMPTS).

A wrong guess costs at most a less specific message: two calls failing at
the same moment with messages that either could have left.
"""

import re

OWN, SHARED, FOREIGN = "own", "shared", "foreign"

# The library cuts its messages to this many bytes.
_MESSAGE_LIMIT = 511
_SAVE_ENCODINGS = (b"utf8", b"utf8-bom", b"utf16le")
# tf_save refuses a path when its length + 8 exceeds this.
_SAVE_PATH_LIMIT = 4095
_SYSTEM_TEXT = None  # the tail of a message is the system's text for an error

_ANYONE = (b"out of memory", b"internal error")
_HANDLE = (b"invalid handle",) + _ANYONE
# What no other export leaves, then what others leave too.
_ONLY_TEXT = {
    "tf_open": [rb"file too large \(\d+ bytes; max 524288000\)", rb"invalid file size",
                rb"too many open handles \(max 64\)", rb"decode failed / out of memory"],
    "tf_full": [rb"file too large for tf_full \(\d+ bytes; max 67108864\); use tf_text paging"],
    "tf_stats": [rb"failed to build stats"],
    "tf_linecol": [rb"linecol failed"],
    "tf_search": [rb"search failed"],
    "tf_replace_preview": [rb"replace preview failed"],
    # tf_info's document holds no string member that could be malformed.
    "tf_text": [rb"failed to serialize JSON"],
}
_ALSO = {
    "tf_open": _ANYONE,
    "tf_info": _HANDLE + (b"failed to serialize JSON",),
    "tf_text": _HANDLE,
    "tf_full": _HANDLE,
    "tf_stats": _HANDLE,
    "tf_linecol": _HANDLE,
    "tf_search": _HANDLE,
    "tf_replace_preview": _HANDLE,
    "tf_save": _HANDLE,
    "tf_save_text": _ANYONE,
}
_ONLY = {name: [re.compile(p + rb"\Z") for p in patterns] for name, patterns in _ONLY_TEXT.items()}
_ANY_SAVE = re.compile(rb"((write|fflush|directory sync) failed: [^\n]+|rename failed: Win32 error \d+"
                       rb"|out of memory encoding utf16le)\Z")


def _fits(message, head, tail):
    """message is head + tail (tail _SYSTEM_TEXT: any non-empty text), or
    that message cut by the library."""
    if tail is _SYSTEM_TEXT:
        if message.startswith(head) and len(message) > len(head):
            return True
        tail = b""
    elif message == head + tail:
        return True
    return len(message) == _MESSAGE_LIMIT and (head + tail).startswith(message)


def _named(name, args):
    """(head, tail) pairs of the messages that name this call's arguments."""
    if name == "tf_open":
        path = args[0]
        return [(b"cannot open '%s': " % path, _SYSTEM_TEXT),
                (b"'%s' is a directory" % path, b""),
                (b"'%s' is not a regular file" % path, b""),
                (b"short read on '%s'" % path, b"")]
    if name in ("tf_save", "tf_save_text"):
        return [(b"cannot create temp file '%s.tmp': " % args[-2], _SYSTEM_TEXT)]
    return []


def _save(args, message):
    """OWN or SHARED for the messages only saves leave, else None."""
    path, encoding = args[-2], args[-1]
    if encoding not in _SAVE_ENCODINGS:  # checked before the path and the file
        named = b"unsupported encoding '%s' (use utf8|utf8-bom|utf16le)" % encoding
        return OWN if _fits(message, named, b"") else None
    if len(path) + 8 > _SAVE_PATH_LIMIT:  # checked before the file
        return OWN if message == b"path too long" else None
    return SHARED if _ANY_SAVE.match(message) else None


def verdict(name, args, message):
    """OWN, SHARED or FOREIGN: whether the failed call `name(*args)` (its
    arguments as passed to the library) left `message` (bytes)."""
    if name in ("tf_save", "tf_save_text"):
        found = _save(args, message)
        if found is not None:
            return found
    if any(_fits(message, head, tail) for head, tail in _named(name, args)):
        return OWN
    if any(p.match(message) for p in _ONLY.get(name, ())):
        return OWN
    return SHARED if message in _ALSO.get(name, ()) else FOREIGN
