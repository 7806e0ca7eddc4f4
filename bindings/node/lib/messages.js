'use strict';

// Which last-error messages a failed call could have produced itself. Most of
// the library's messages name the call's own arguments ("cannot open
// '<path>': ...", "unsupported encoding '<name>' ...") or can only come from a
// call of that kind ("failed to serialize JSON" from a page cut inside a
// character). A failed call that reads such a message keeps it even when
// other calls ran meanwhile; any other message may be another call's, and the
// call is tried again (gate.js). The lists hold only what a call of this
// package can really meet: a message left out costs a repeat, never a wrong
// message.

// The library cuts its messages to this many bytes.
const MESSAGE_LIMIT = 511;
const SAVE_ENCODINGS = ['utf8', 'utf8-bom', 'utf16le'];
// tf_save refuses a path when its length + 8 exceeds this.
const SAVE_PATH_LIMIT = 4095;
const SYSTEM_TEXT = null; // the tail is the system's text for an error

const ANY = {
  tf_open: [/^file too large \(\d+ bytes; max 524288000\)$/, /^too many open handles \(max 64\)$/],
  tf_text: [/^failed to serialize JSON$/],
  tf_full: [/^file too large for tf_full \(\d+ bytes; max 67108864\); use tf_text paging$/],
};
const ANY_SAVE = [/^(write|fflush|directory sync) failed: [^\n]+$/, /^rename failed: Win32 error \d+$/];

/** A NUL-terminated argument as the library quotes it. */
const text = (bytes) => Buffer.from(bytes.buffer, bytes.byteOffset, bytes.length - 1).toString('utf8');

/** message is head + tail (tail SYSTEM_TEXT: any non-empty text), or that
 * message cut by the library. */
function fits(message, head, tail) {
  if (tail === SYSTEM_TEXT) {
    if (message.startsWith(head) && message.length > head.length) return true;
    tail = '';
  } else if (message === head + tail) {
    return true;
  }
  return Buffer.byteLength(message) === MESSAGE_LIMIT && (head + tail).startsWith(message);
}

function ownSave(args, message) {
  const bytes = args[args.length - 2];
  const path = text(bytes);
  const encoding = text(args[args.length - 1]);
  if (!SAVE_ENCODINGS.includes(encoding)) { // checked first: nothing else can fail
    return fits(message, `unsupported encoding '${encoding}' (use utf8|utf8-bom|utf16le)`, '');
  }
  if (bytes.length - 1 + 8 > SAVE_PATH_LIMIT) return message === 'path too long';
  if (encoding === 'utf16le' && message === 'out of memory encoding utf16le') return true;
  return fits(message, `cannot create temp file '${path}.tmp': `, SYSTEM_TEXT) ||
    ANY_SAVE.some((pattern) => pattern.test(message));
}

/** True when the failed call name(...args) (its arguments as passed to the
 * library) could itself have left message. */
function couldBeOwn(name, args, message) {
  if (name === 'tf_save' || name === 'tf_save_text') return ownSave(args, message);
  if (name === 'tf_open') {
    const path = text(args[0]);
    if (fits(message, `cannot open '${path}': `, SYSTEM_TEXT) ||
        fits(message, `'${path}' is a directory`, '') ||
        fits(message, `'${path}' is not a regular file`, '') ||
        fits(message, `short read on '${path}'`, '')) return true;
  }
  return (ANY[name] || []).some((pattern) => pattern.test(message));
}

module.exports = { couldBeOwn };
