'use strict';

// Whose is the last-error message a failed call reads (gate.js): OWN when only
// a call of this export can leave it or when it names this call's own
// arguments ("cannot open '<path>': ...", "unsupported encoding '<name>' ...");
// UNSURE when this call may have left it and so may any other ("out of
// memory", "internal error", "invalid handle" for a handle number in range);
// FOREIGN otherwise: a message this call cannot produce, among them the empty
// one every open leaves at its start.

const { FOREIGN, OWN, UNSURE } = require('./gate');

// The library cuts its messages to this many bytes.
const MESSAGE_LIMIT = 511;
const SAVE_ENCODINGS = ['utf8', 'utf8-bom', 'utf16le'];
// tf_save refuses a path when its length + 8 exceeds this.
const SAVE_PATH_LIMIT = 4095;
const SYSTEM_TEXT = null; // the tail is the system's text for an error
const HANDLES = 64;

// Messages that only a call of that export can leave, whatever its arguments.
// "failed to serialize JSON" is tf_info's too, whose fixed names never fail so.
// The save routine's own messages belong to both saves.
const SAVE_ROUTINE = ['null argument', /^(write|fflush|directory sync) failed: [^\n]+$/,
  /^rename failed: Win32 error \d+$/];
const ONLY = {
  tf_open: ['path is NULL', /^file too large \(\d+ bytes; max 524288000\)$/,
    /^too many open handles \(max 64\)$/, 'invalid file size', 'decode failed / out of memory'],
  tf_text: ['failed to serialize JSON'],
  tf_info: ['failed to serialize JSON'],
  tf_full: [/^file too large for tf_full \(\d+ bytes; max 67108864\); use tf_text paging$/],
  tf_stats: ['failed to build stats'],
  tf_linecol: ['linecol failed'],
  tf_search: ['query is NULL', 'search failed'],
  tf_replace_preview: ['find/repl is NULL', 'replace preview failed'],
  tf_save: SAVE_ROUTINE,
  tf_save_text: SAVE_ROUTINE,
};
const ANYONE = ['out of memory', 'internal error'];

const matches = (message) => (entry) => (typeof entry === 'string' ? entry === message : entry.test(message));

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

function namesOwnArguments(name, args, message) {
  if (name === 'tf_open') {
    const path = text(args[0]);
    return fits(message, `cannot open '${path}': `, SYSTEM_TEXT) ||
      fits(message, `'${path}' is a directory`, '') ||
      fits(message, `'${path}' is not a regular file`, '') ||
      fits(message, `short read on '${path}'`, '');
  }
  if (name !== 'tf_save' && name !== 'tf_save_text') return false;
  const bytes = args[args.length - 2];
  const encoding = text(args[args.length - 1]);
  if (!SAVE_ENCODINGS.includes(encoding)) { // checked first: nothing else can fail
    return fits(message, `unsupported encoding '${encoding}' (use utf8|utf8-bom|utf16le)`, '');
  }
  if (bytes.length - 1 + 8 > SAVE_PATH_LIMIT) return message === 'path too long';
  return (encoding === 'utf16le' && message === 'out of memory encoding utf16le') ||
    fits(message, `cannot create temp file '${text(bytes)}.tmp': `, SYSTEM_TEXT);
}

/** OWN, UNSURE or FOREIGN: whether the failed call name(...args) (its
 * arguments as passed to the library) left message. */
function whose(name, args, message) {
  if ((ONLY[name] || []).some(matches(message)) || namesOwnArguments(name, args, message)) return OWN;
  if (message === 'invalid handle' && name !== 'tf_open' && name !== 'tf_save_text') {
    const handle = args[0];
    return handle < 0 || handle >= HANDLES ? OWN : UNSURE;
  }
  return ANYONE.includes(message) ? UNSURE : FOREIGN;
}

module.exports = { whose };
