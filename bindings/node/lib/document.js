'use strict';

// Document and the package's functions over the library (library.js); the
// asynchronous ones run their call on a worker thread (pool.js).

const { TextFileError } = require('./errors');
const { bind, readJson, viewBytes } = require('./library');
const { Pool } = require('./pool');
const { nativePath } = require('./paths');
const { sharedState } = require('./shared');

/** Page size of Document.text() and Document.pages() when none is given. */
const DEFAULT_PAGE_BYTES = 65536;

const INT64_MIN = -(1n << 63n);
const INT64_MAX = (1n << 63n) - 1n;
const INT32_MIN = -(2 ** 31);
const INT32_MAX = 2 ** 31 - 1;
// tf_text refuses a page that ends inside a character with this message.
const CUT_INSIDE_CHARACTER = 'failed to serialize JSON';
// tf_open's message when all 64 handles are in use.
const NO_FREE_HANDLE = 'too many open handles (max 64)';

// Taken at load, so that the workers the program starts afterwards share it.
const shared = sharedState();
let library;
let pool;

function lib() {
  if (library === undefined) {
    library = bind(undefined, shared);
    pool = new Pool({ location: library.location, shared });
  }
  return library;
}

// ---- arguments ---------------------------------------------------------------

/** An offset: a number or a BigInt, an integer within int64. */
function int64(value, what) {
  if (typeof value === 'number') {
    if (!Number.isInteger(value)) throw new RangeError(`${what} must be an integer, not ${value}`);
    if (Number.isSafeInteger(value)) return value;
    value = BigInt(value);
  } else if (typeof value !== 'bigint') {
    throw new TypeError(`${what} must be a number or a BigInt, not ${typeof value}`);
  }
  if (value < INT64_MIN || value > INT64_MAX) throw new RangeError(`${what} is outside int64: ${value}`);
  return value;
}

/** A size or count, clamped to int32: the library clamps each such argument
 * further (sizes to 0, hit counts to its limit), so no result changes. */
function int32(value, what) {
  const n = typeof value === 'bigint' ? value : int64(value, what);
  if (n < INT32_MIN) return INT32_MIN;
  if (n > INT32_MAX) return INT32_MAX;
  return Number(n);
}

/** A string as NUL-terminated UTF-8, or a Buffer's bytes as they are. The
 * library reads up to the first 0x00, so one inside would silently cut the
 * argument: refused instead. */
function cString(value, what) {
  let bytes;
  if (typeof value === 'string') {
    if (value.includes('\0')) throw new TypeError(`${what} must not contain U+0000`);
    return Buffer.from(`${value}\0`, 'utf8');
  }
  if (value instanceof Uint8Array) {
    if (value.includes(0)) throw new TypeError(`${what} must not contain a 0x00 byte`);
    bytes = Buffer.alloc(value.length + 1);
    bytes.set(value);
    return bytes;
  }
  throw new TypeError(`${what} must be a string or a Buffer, not ${typeof value}`);
}

function cPath(value) {
  return cString(nativePath(value), 'path');
}

/** The text to save as UTF-8 bytes (U+0000 allowed: the length is given). */
function textBytes(text) {
  let bytes;
  if (typeof text === 'string') bytes = Buffer.from(text, 'utf8');
  else if (text instanceof Uint8Array) bytes = text;
  else throw new TypeError(`text must be a string or a Buffer, not ${typeof text}`);
  if (bytes.length > INT32_MAX) {
    throw new RangeError(`text too long to save (${bytes.length} bytes; max ${INT32_MAX})`);
  }
  // koffi passes an empty buffer as NULL, which the library refuses.
  return bytes.length > 0 ? bytes : Buffer.alloc(1);
}

const textLength = (text) => (typeof text === 'string' ? Buffer.byteLength(text, 'utf8') : text.length);

// ---- closing documents nobody closed ------------------------------------------

const unclosed = new FinalizationRegistry((handle) => {
  openHandles.delete(handle);
  if (library !== undefined) library.fn.tf_close(handle);
});
// The handles this copy of the package holds for documents not closed yet.
const openHandles = new Set();

/** The open failed with every handle taken: says how many this package's
 * documents hold, which the garbage collector may free long after they were
 * dropped, since it does not see their memory outside the JavaScript heap. */
function noFreeHandle(error) {
  if (!(error instanceof TextFileError) || error.message !== NO_FREE_HANDLE) return error;
  error.message += `; ${openHandles.size} of them held by documents of this package that were ` +
    'never closed: close() each document when done (try/finally, or declare it with `using`)';
  error.heldByUnclosedDocuments = openHandles.size;
  return error;
}

// ---- Document -------------------------------------------------------------------

/**
 * An open file: the decoded UTF-8 text and what was detected. Offsets and
 * lengths are byte counts in the decoded text. Each failure of the library
 * throws TextFileError with its message; using a closed document throws an
 * Error with code 'ERR_DOCUMENT_CLOSED'.
 */
class Document {
  #handle;
  #pending = 0; // saves in flight on a worker: the handle outlives close() until they end
  #closed = false;
  #bytes;

  /** @param {number} handle  @param {string|Buffer|URL} path */
  constructor(handle, path) {
    this.#handle = handle;
    this.path = path;
    openHandles.add(handle);
    unclosed.register(this, handle, this);
  }

  get closed() {
    return this.#closed;
  }

  /** The library's handle (0..63). */
  get handle() {
    if (this.#closed) {
      const error = new Error('document is closed');
      error.code = 'ERR_DOCUMENT_CLOSED';
      throw error;
    }
    return this.#handle;
  }

  /** Releases the handle; closing again does nothing. */
  close() {
    if (this.#closed) return;
    this.#closed = true;
    openHandles.delete(this.#handle);
    unclosed.unregister(this);
    if (this.#pending === 0) lib().fn.tf_close(this.#handle);
  }

  #json(name, ...args) {
    return lib().callString(name, [this.handle, ...args], readJson);
  }

  /** encoding, had_bom, line_ending, bytes, raw_bytes, lines, sanitized. */
  info() {
    return this.#json('tf_info');
  }

  /** lines, words, chars, bytes. */
  stats() {
    return this.#json('tf_stats');
  }

  /** {line, col} of a byte offset (1-based; col in bytes). */
  linecol(offset) {
    return this.#json('tf_linecol', int64(offset, 'offset'));
  }

  /** {text, next_offset}: the page of at most maxBytes bytes at offset, cut at
   * exactly those bytes; one that would end inside a character throws
   * TextFileError("failed to serialize JSON") (pages() never does). */
  text(offset = 0, maxBytes = DEFAULT_PAGE_BYTES) {
    return this.#json('tf_text', int64(offset, 'offset'), int32(maxBytes, 'maxBytes'));
  }

  /** {count, query_len, hits: [{offset, length}]}: byte-wise occurrences,
   * overlapping ones included; folding is ASCII-only; maxHits 0 means 100. */
  search(query, { caseInsensitive = false, maxHits = 0 } = {}) {
    return this.#json('tf_search', cString(query, 'query'), caseInsensitive ? 1 : 0,
      int32(maxHits, 'maxHits'));
  }

  /** {count, text[, truncated]}: the text after replacing every occurrence;
   * the document itself is unchanged. */
  replacePreview(find, repl, { caseInsensitive = false } = {}) {
    return this.#json('tf_replace_preview', cString(find, 'find'), cString(repl, 'repl'),
      caseInsensitive ? 1 : 0);
  }

  /** The decoded text's length in bytes: the empty page past the end says it
   * without counting anything. The text of a handle never changes. */
  #byteLength(handle) {
    if (this.#bytes === undefined) {
      this.#bytes = lib().callString('tf_text', [handle, INT64_MAX, 0], readJson).next_offset;
    }
    return this.#bytes;
  }

  #full(convert) {
    const handle = this.handle;
    const length = this.#byteLength(handle);
    return lib().callString('tf_full', [handle], (pointer) => convert(viewBytes(pointer, length)));
  }

  /** The whole decoded text as a string, 0x00 characters included (up to
   * 64 MiB; larger texts throw TextFileError: use pages()). */
  full() {
    return this.#full((bytes) => bytes.toString('utf8'));
  }

  /** The whole decoded text as a Buffer of UTF-8 (see full()). */
  fullBuffer() {
    return this.#full((bytes) => Buffer.from(bytes));
  }

  /** [text, bytes consumed] at offset: up to `want` bytes, ending on a
   * character boundary and just after a 0x00 byte if there is one; undefined
   * when nothing fits and not mayExceed. A UTF-8 character is at most 4 bytes,
   * so up to 3 bytes less, or more, find the boundary. */
  #page(handle, offset, want, mayExceed) {
    const tries = [];
    for (let n = want; n > want - 4 && n >= 1; n -= 1) tries.push(n);
    if (mayExceed) tries.push(want + 1, want + 2, want + 3);
    for (const n of tries) {
      const page = lib().tryString('tf_text', [handle, offset, n], readJson);
      if (page === undefined) continue;
      const span = page.next_offset - offset;
      const length = Buffer.byteLength(page.text, 'utf8');
      if (length < span) return [`${page.text}\0`, length + 1]; // "text" stopped at a 0x00
      return [page.text, span];
    }
    if (!mayExceed) return undefined;
    // Every size failed: say why with the library's message.
    this.#json('tf_text', offset, tries[tries.length - 1]);
    throw new TextFileError(CUT_INSIDE_CHARACTER);
  }

  /** Yields the text as strings of at most `size` UTF-8 bytes each (more only
   * when one character alone is longer), never cutting a character; their
   * concatenation is full(). Works for texts of any size. */
  * pages(size = DEFAULT_PAGE_BYTES) {
    size = Math.min(int32(size, 'size'), INT32_MAX - 3);
    if (size < 1) throw new RangeError('page size must be at least 1');
    let offset = 0;
    for (;;) {
      const handle = this.handle;
      const pieces = [];
      let filled = 0;
      while (filled < size) {
        const got = this.#page(handle, offset, size - filled, pieces.length === 0);
        if (got === undefined) break;
        const [text, consumed] = got;
        if (consumed === 0) {
          if (pieces.length > 0) yield pieces.join('');
          return;
        }
        pieces.push(text);
        filled += consumed;
        offset += consumed;
      }
      yield pieces.join('');
    }
  }

  /** Writes the decoded text to path in encoding ('utf8', 'utf8-bom' or
   * 'utf16le') through a temporary file and an atomic replace. */
  save(path, encoding) {
    lib().callInt('tf_save', this.handle, cPath(path), cString(encoding, 'encoding'));
  }

  /** save() on a worker thread. */
  async saveAsync(path, encoding) {
    const args = [this.handle, cPath(path), cString(encoding, 'encoding')];
    lib();
    this.#pending += 1;
    try {
      await pool.run('tf_save', args);
    } finally {
      this.#pending -= 1;
      if (this.#closed && this.#pending === 0) library.fn.tf_close(this.#handle);
    }
  }
}

if (typeof Symbol.dispose === 'symbol') {
  Document.prototype[Symbol.dispose] = Document.prototype.close;
}

// ---- functions ----------------------------------------------------------------

/** Reads the file at path (string, Buffer or file: URL), detects its encoding
 * and decodes it. */
function open(path) {
  const bytes = cPath(path);
  try {
    return new Document(lib().callInt('tf_open', bytes), path);
  } catch (error) {
    throw noFreeHandle(error);
  }
}

/** open() on a worker thread: the event loop goes on meanwhile. */
async function openAsync(path) {
  const bytes = cPath(path);
  lib();
  try {
    return new Document(await pool.run('tf_open', [bytes]), path);
  } catch (error) {
    throw noFreeHandle(error);
  }
}

/** Writes text (a string, or a Buffer taken as UTF-8) to path in encoding
 * through a temporary file and an atomic replace. */
function saveText(text, path, encoding) {
  const bytes = textBytes(text);
  lib().callInt('tf_save_text', bytes, textLength(text), cPath(path), cString(encoding, 'encoding'));
}

/** saveText() on a worker thread. The text is copied for it first. */
async function saveTextAsync(text, path, encoding) {
  const bytes = textBytes(text);
  const own = typeof text === 'string' && bytes.byteOffset === 0 && bytes.buffer.byteLength === bytes.length
    ? bytes : new Uint8Array(bytes);
  const args = [own, textLength(text), cPath(path), cString(encoding, 'encoding')];
  lib();
  await pool.run('tf_save_text', args, [own.buffer]);
}

/** The library's version, for instance "1.0.1". */
function version() {
  return lib().fn.tf_version();
}

module.exports = {
  DEFAULT_PAGE_BYTES,
  Document,
  TextFileError,
  open,
  openAsync,
  saveText,
  saveTextAsync,
  version,
};
