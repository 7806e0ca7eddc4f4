"""Which last-error messages a failed call could have produced itself.

Most of the library's messages name the call's own arguments ("cannot open
'<path>': ...", "unsupported encoding '<name>' ...") or can only come from a
call of that kind ("failed to serialize JSON" from a page cut inside a
character). A failed call that reads such a message keeps it even when other
calls ran meanwhile; any other message may be another call's, and the call is
repeated alone. The lists hold only what a call of this package can really
meet: a message left out costs a repeat, never a wrong message.
"""

import re

# The library cuts its messages to this many bytes.
_MESSAGE_LIMIT = 511
_SAVE_ENCODINGS = (b"utf8", b"utf8-bom", b"utf16le")
# tf_save refuses a path when its length + 8 exceeds this.
_SAVE_PATH_LIMIT = 4095
_SYSTEM_TEXT = None  # the tail of a message is the system's text for an error

_ANY_OPEN = [
    re.compile(rb"file too large \(\d+ bytes; max 524288000\)\Z"),
    re.compile(rb"too many open handles \(max 64\)\Z"),
]
_ANY_SAVE = [
    re.compile(rb"(write|fflush|directory sync) failed: [^\n]+\Z"),
    re.compile(rb"rename failed: Win32 error \d+\Z"),
]
_ANY = {
    "tf_open": _ANY_OPEN,
    "tf_text": [re.compile(rb"failed to serialize JSON\Z")],
    "tf_full": [re.compile(rb"file too large for tf_full \(\d+ bytes; max 67108864\); "
                           rb"use tf_text paging\Z")],
}


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


def _own(name, args):
    """(head, tail) pairs of the messages that name this call's arguments."""
    if name == "tf_open":
        path = args[0]
        return [(b"cannot open '%s': " % path, _SYSTEM_TEXT),
                (b"'%s' is a directory" % path, b""),
                (b"'%s' is not a regular file" % path, b""),
                (b"short read on '%s'" % path, b"")]
    return []


def _save(args, message):
    path, encoding = args[-2], args[-1]
    if encoding not in _SAVE_ENCODINGS:  # checked first: nothing else can fail
        return _fits(message, b"unsupported encoding '%s' (use utf8|utf8-bom|utf16le)"
                     % encoding, b"")
    if len(path) + 8 > _SAVE_PATH_LIMIT:
        return message == b"path too long"
    if encoding == b"utf16le" and message == b"out of memory encoding utf16le":
        return True
    return (_fits(message, b"cannot create temp file '%s.tmp': " % path, _SYSTEM_TEXT)
            or any(p.match(message) for p in _ANY_SAVE))


def could_be_own(name, args, message):
    """True when the failed call `name(*args)` (its arguments as passed to the
    library) could itself have left `message` (bytes)."""
    if name in ("tf_save", "tf_save_text"):
        return _save(args, message)
    return (any(_fits(message, head, tail) for head, tail in _own(name, args))
            or any(p.match(message) for p in _ANY.get(name, ())))
