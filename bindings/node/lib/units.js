'use strict';

// Byte offsets in the decoded UTF-8 text and UTF-16 indexes into the string
// of full(), turned into each other in one walk over the text's bytes, and
// the search done again in JavaScript where the library's hit limit ends.

const EMPTY = Buffer.alloc(0);

/**
 * Walks the text forward once, from byte `from` (a character boundary), over
 * `chunks` (Buffers of whole characters, in order). Each question asks about
 * a position at or after the one asked before.
 */
class UnitCursor {
  constructor(chunks, from = 0) {
    this.chunks = chunks;
    this.chunk = EMPTY;
    this.at = 0; // position in chunk
    this.offset = from; // byte offset of chunk[at]
    this.index = 0; // UTF-16 units from `from` to offset
  }

  #more() {
    if (this.at < this.chunk.length) return true;
    const { value, done } = this.chunks.next();
    if (done) return false;
    this.chunk = value;
    this.at = 0;
    return true;
  }

  /** UTF-16 units from `from` to byte offset `target`: those of the characters
   * that begin before it, so an offset inside a character counts it whole. */
  unitsTo(target) {
    while (this.offset < target && this.#more()) {
      const c = this.chunk;
      const end = Math.min(c.length, this.at + (target - this.offset));
      let units = 0;
      for (let i = this.at; i < end; i += 1) {
        const b = c[i];
        if ((b & 0xc0) !== 0x80) units += b >= 0xf0 ? 2 : 1;
      }
      this.index += units;
      this.offset += end - this.at;
      this.at = end;
    }
    return this.index;
  }

  /** Byte offset of UTF-16 index `target` (counted from `from`), the text's
   * end when it lies beyond; RangeError between the two halves of a pair. */
  offsetTo(target) {
    while (this.index < target && this.#more()) {
      const c = this.chunk;
      let { at, index } = this;
      while (at < c.length && index < target) {
        const b = c[at];
        if (b >= 0xf0) {
          if (index + 2 > target) {
            throw new RangeError(`index ${target} falls between the two code units of a surrogate pair`);
          }
          index += 2;
          at += 4;
        } else {
          index += 1;
          at += b < 0x80 ? 1 : b < 0xe0 ? 2 : 3;
        }
      }
      this.offset += at - this.at;
      this.at = at;
      this.index = index;
    }
    return this.offset;
  }
}

/** A copy of bytes with 'A'..'Z' as 'a'..'z', the library's case folding. */
function foldAscii(bytes) {
  const out = Buffer.from(bytes);
  for (let i = 0; i < out.length; i += 1) {
    if (out[i] >= 0x41 && out[i] <= 0x5a) out[i] += 0x20;
  }
  return out;
}

/**
 * Occurrences of pattern in the text given as `chunks`, overlapping ones
 * included and ASCII letters folded when fold, as tf_search finds them,
 * counted up to `stop`.
 */
function countMatches(chunks, pattern, fold, stop = Infinity) {
  const m = pattern.length;
  if (m === 0) return 0;
  const needle = fold ? foldAscii(pattern) : pattern;
  let count = 0;
  let tail = EMPTY; // the last m - 1 bytes seen: a match may begin there
  for (const chunk of chunks) {
    const joined = tail.length > 0 ? Buffer.concat([tail, chunk]) : chunk;
    const window = fold ? foldAscii(joined) : joined;
    for (let at = window.indexOf(needle); at !== -1; at = window.indexOf(needle, at + 1)) {
      count += 1;
      if (count >= stop) return count;
    }
    tail = Buffer.from(window.subarray(Math.max(0, window.length - (m - 1))));
  }
  return count;
}

module.exports = { UnitCursor, countMatches };
