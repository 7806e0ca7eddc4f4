'use strict';

// Document and the package's functions over the library (library.js); the
// asynchronous ones run their call on a worker thread (pool.js).

const { TextFileError } = require('./errors');
const { bind, readJson, viewBytes } = require('./library');
const { Pool } = require('./pool');
const { nativePath } = require('./paths');
const { UnitCursor, countMatches } = require('./units');

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
// The longest text tf_full returns, in bytes (64 MiB).
const FULL_LIMIT = 67108864;
// tf_search's hit limit: when none is asked for, and at most.
const DEFAULT_HITS = 100;
const MAX_HITS = 100000;
const UNITS = ['byte', 'utf16'];
// The sizes of the pieces the text is read in to turn offsets into indexes.
const CHUNK_MIN = 65536;
const CHUNK_MAX = 4194304;

let library;
let pool;

function lib() {
  if (library === undefined) {
    library = bind(undefined);
    pool = new Pool({ location: library.location });
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

/** The `unit` option: true for 'utf16', false for 'byte' (the default). */
function inUtf16(unit) {
  if (!UNITS.includes(unit)) throw new RangeError(`unit must be 'byte' or 'utf16', not ${String(unit)}`);
  return unit === 'utf16';
}

/** A UTF-16 index or length: a number or BigInt within int64, negative ones taken as 0. */
function nonNegative(value, what) {
  const n = int64(value, what);
  return n < 0 ? 0 : Number(n);
}

/** The hit limit tf_search applies to maxHits. */
const hitLimit = (maxHits) => (maxHits <= 0 ? DEFAULT_HITS : Math.min(maxHits, MAX_HITS));

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

  /** {line, col, col16} of a position: a byte offset, or with unit 'utf16'
   * an index into full() (1-based; col in bytes, col16 in UTF-16 units). */
  linecol(position, { unit = 'byte' } = {}) {
    const handle = this.handle;
    const offset = inUtf16(unit)
      ? new UnitCursor(this.#chunks(handle, 0)).offsetTo(nonNegative(position, 'index'))
      : int64(position, 'offset');
    const where = this.#json('tf_linecol', offset);
    const n = this.#byteLength(handle);
    const at = offset < 0 ? 0 : offset > n ? n : Number(offset);
    const lineStart = at - (where.col - 1);
    where.col16 = 1 + new UnitCursor(this.#chunks(handle, lineStart), lineStart).unitsTo(at);
    return where;
  }

  /** {text, next_offset}: the page of at most `length` bytes at byte offset
   * `position`, cut at exactly those bytes; one that would end inside a
   * character throws TextFileError("failed to serialize JSON") (pages() never
   * does). With unit 'utf16', position and length count UTF-16 code units
   * and the page is full().slice(position, position + length), U+0000
   * included, one unit shorter rather than split a surrogate pair (a length
   * of 1 at a pair gives the pair), with next_index beside next_offset. */
  text(position = 0, length = DEFAULT_PAGE_BYTES, { unit = 'byte' } = {}) {
    if (!inUtf16(unit)) return this.#json('tf_text', int64(position, 'offset'), int32(length, 'maxBytes'));
    const handle = this.handle;
    const want = nonNegative(length, 'length');
    const cursor = new UnitCursor(this.#chunks(handle, 0));
    const offset = cursor.offsetTo(nonNegative(position, 'index'));
    const [text, bytes] = this.#units(handle, offset, want);
    return { text, next_offset: offset + bytes, next_index: cursor.index + text.length };
  }

  /** {count, query_len, truncated, hits: [{offset, length, index, length16}]}:
   * byte-wise occurrences, overlapping ones included, folding ASCII letters
   * only; at most maxHits of them (100 for 0 or less, 100,000 at most), and
   * truncated says whether more were left out (count() counts them all).
   * index and length16 place each hit in the string of full(). */
  search(query, { caseInsensitive = false, maxHits = 0 } = {}) {
    const pattern = cString(query, 'query');
    const fold = caseInsensitive ? 1 : 0;
    const wanted = hitLimit(int32(maxHits, 'maxHits'));
    const handle = this.handle;
    const found = this.#json('tf_search', pattern, fold, Math.min(wanted + 1, MAX_HITS));
    let truncated = found.count > wanted;
    if (truncated) {
      found.hits.length = wanted;
      found.count = wanted;
    } else if (found.count === MAX_HITS) {
      truncated = this.#scanCount(handle, pattern, fold, MAX_HITS + 1) > MAX_HITS;
    }
    this.#placeHits(handle, found.hits, found.query_len);
    return { count: found.count, query_len: found.query_len, truncated, hits: found.hits };
  }

  /** How many hits search() finds in the whole text, without a limit. */
  count(query, { caseInsensitive = false } = {}) {
    const pattern = cString(query, 'query');
    const fold = caseInsensitive ? 1 : 0;
    const handle = this.handle;
    const { count } = this.#json('tf_search', pattern, fold, MAX_HITS);
    return count < MAX_HITS ? count : this.#scanCount(handle, pattern, fold, Infinity);
  }

  /** Beyond the library's hit limit: the search again, in JavaScript. */
  #scanCount(handle, pattern, fold, stop) {
    return countMatches(this.#chunks(handle, 0), pattern.subarray(0, pattern.length - 1), fold === 1, stop);
  }

  /** Sets index and length16 of each hit (sorted by offset) in one walk over
   * the text up to the last hit's end. */
  #placeHits(handle, hits, length) {
    if (hits.length === 0) return;
    const cursor = new UnitCursor(this.#chunks(handle, 0));
    // Starts and ends both ascend: resolve them merged, in order.
    for (let s = 0, e = 0; e < hits.length;) {
      if (s < hits.length && hits[s].offset <= hits[e].offset + length) {
        hits[s].index = cursor.unitsTo(hits[s].offset);
        s += 1;
      } else {
        hits[e].length16 = cursor.unitsTo(hits[e].offset + length) - hits[e].index;
        e += 1;
      }
    }
  }

  /** {count, text[, truncated]}: the text after replacing every occurrence,
   * left to right without overlaps (so count may be less than count()'s);
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
    if (length > FULL_LIMIT) {
      const error = new TextFileError(`text too large for full() (${length} bytes; max ${FULL_LIMIT}): ` +
        'read it in pieces with pages()');
      error.code = 'ERR_TEXT_TOO_LARGE';
      throw error;
    }
    return lib().callString('tf_full', [handle], (pointer) => convert(viewBytes(pointer, length)));
  }

  /** The whole decoded text as a string, 0x00 characters included (up to
   * 64 MiB; a larger text throws TextFileError with code
   * 'ERR_TEXT_TOO_LARGE': read it with pages()). */
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

  /** Yields the text as strings of at most `size` UTF-8 bytes each, or with
   * unit 'utf16' UTF-16 code units (more only when one character alone is
   * longer), never cutting a character; their concatenation is full(). Works
   * for texts of any size. */
  * pages(size = DEFAULT_PAGE_BYTES, { unit = 'byte' } = {}) {
    const utf16 = inUtf16(unit);
    size = Math.min(int32(size, 'size'), INT32_MAX - 3);
    if (size < 1) throw new RangeError('page size must be at least 1');
    let offset = 0;
    while (utf16) {
      const [text, bytes] = this.#units(this.handle, offset, size);
      if (bytes === 0) return;
      yield text;
      offset += bytes;
    }
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

  /** The text from byte offset (a character boundary) on as Buffers of whole
   * characters, until its end: pages growing from 64 KiB to 4 MiB, or after
   * the first page all the rest at once when full() could return the text. */
  * #chunks(handle, offset) {
    for (let size = CHUNK_MIN; ; size = Math.min(2 * size, CHUNK_MAX)) {
      if (size > CHUNK_MIN && this.#byteLength(handle) <= FULL_LIMIT) {
        yield this.#full((bytes) => Buffer.from(bytes.subarray(offset)));
        return;
      }
      const [text, consumed] = this.#page(handle, offset, size, true);
      if (consumed === 0) return;
      yield Buffer.from(text, 'utf8');
      offset += consumed;
    }
  }

  /** [text, bytes]: `units` UTF-16 code units of the text from byte offset
   * on, with their length in bytes: one fewer rather than split a surrogate
   * pair (two when `units` is 1 and the pair comes first), fewer at the end. */
  #units(handle, offset, units) {
    const pieces = [];
    let bytes = 0;
    for (let left = units; left > 0;) {
      // A code unit takes at most 3 bytes.
      const got = this.#page(handle, offset + bytes, Math.min(3 * left, CHUNK_MAX), true);
      let [text] = got;
      if (got[1] === 0) break;
      const cut = text.length > left;
      if (cut) {
        // A surrogate pair across the cut is left out, or taken whole when alone.
        const high = text.charCodeAt(left - 1);
        text = text.slice(0, high < 0xd800 || high > 0xdbff ? left : units > 1 ? left - 1 : 2);
      }
      pieces.push(text);
      bytes += Buffer.byteLength(text, 'utf8');
      left -= text.length;
      if (cut) break;
    }
    return [pieces.join(''), bytes];
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
