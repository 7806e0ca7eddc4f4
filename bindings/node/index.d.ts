/// <reference types="node" />

/**
 * Codes of the package's own, beside the system's ('ENOENT', 'EACCES', ...):
 * - 'ERR_FILE_TOO_LARGE': open() of a file over 524,288,000 bytes (500 MiB);
 * - 'ERR_TOO_MANY_HANDLES': open() with all 64 handles in use;
 * - 'ERR_UNKNOWN_ENCODING': a save to an encoding other than 'utf8', 'utf8-bom', 'utf16le';
 * - 'ERR_TEXT_TOO_LARGE': full() or fullBuffer() of a text over 67,108,864 bytes (64 MiB): use pages();
 * - 'ERR_MESSAGE_LOST': the call failed and other threads' failures overwrote the library's one
 *   message each time it was tried (see `libraryMessage`);
 * - 'ERR_PATH_CODE_PAGE': a Windows path the ANSI code page cannot express.
 */
export type TextFileErrorCode = 'ERR_FILE_TOO_LARGE' | 'ERR_TOO_MANY_HANDLES' | 'ERR_UNKNOWN_ENCODING' |
  'ERR_TEXT_TOO_LARGE' | 'ERR_MESSAGE_LOST' | 'ERR_PATH_CODE_PAGE';

/** A failure reported by the library; `message` is its own message for the call. */
export class TextFileError extends Error {
  name: 'TextFileError';
  /** Where the message ends in the system's reason: its name, as Node's errors have it ('ENOENT', ...);
   * else one of TextFileErrorCode where one applies. */
  code?: TextFileErrorCode | string;
  /** With 'ERR_MESSAGE_LOST': the last message read, which may be another thread's. */
  libraryMessage?: string;
  /** With `code`: the error's number, as Node's errors have it. */
  errno?: number;
  /** When all 64 handles were taken: how many this package's unclosed documents hold
   * (the message then says so after the library's own words). */
  heldByUnclosedDocuments?: number;
}

export type PathLike = string | Buffer | Uint8Array | URL;
export type Offset = number | bigint;
export type SaveEncoding = 'utf8' | 'utf8-bom' | 'utf16le';

export interface Info {
  encoding: 'utf8' | 'utf8-bom' | 'utf16le' | 'ansi';
  had_bom: 0 | 1;
  line_ending: 'lf' | 'crlf' | 'cr' | 'mixed';
  bytes: number;
  raw_bytes: number;
  lines: number;
  sanitized: 0 | 1;
}

export interface Stats {
  lines: number;
  /** maximal runs of ASCII letters, digits, '_' and non-ASCII characters: all
   * other ASCII (spaces, punctuation such as ' and -) separates, so "don't stop" is 3 */
  words: number;
  /** code points */
  chars: number;
  bytes: number;
}

export interface LineCol {
  line: number;
  /** 1-based, in bytes */
  col: number;
  /** 1-based, in UTF-16 code units */
  col16: number;
}

export interface Page {
  /** the page up to its first U+0000 (with unit 'utf16': U+0000 included) */
  text: string;
  /** byte offset just past the page */
  next_offset: number;
  /** with unit 'utf16' only: index into full() just past the page */
  next_index?: number;
}

/**
 * Which unit a position or size counts: 'byte' (the default), bytes of the
 * decoded UTF-8 text as the library counts them; 'utf16', UTF-16 code units
 * of the string of full(), as String.prototype.slice() counts them.
 */
export type Unit = 'byte' | 'utf16';

export interface SearchHit {
  /** byte offset in the decoded text */
  offset: number;
  /** bytes, the query's length */
  length: number;
  /** index into the string of full(): full().slice(index, index + length16) is the hit */
  index: number;
  /** UTF-16 code units */
  length16: number;
}

export interface SearchResult {
  /** hits returned: at most maxHits, not the total (that is Document.count()) */
  count: number;
  query_len: number;
  /** true when more hits exist than were returned */
  truncated: boolean;
  hits: SearchHit[];
}

export interface ReplacePreview {
  /** replacements made, left to right without overlaps */
  count: number;
  /** the first 1 MiB of the result (left out only when memory ran short) */
  text?: string;
  truncated?: true;
}

/** Page size of Document.text() and Document.pages() when none is given. */
export const DEFAULT_PAGE_BYTES: number;

/**
 * An open file. Offsets and lengths are byte counts in the decoded UTF-8
 * text unless `unit: 'utf16'` asks for UTF-16 code units. Using a closed
 * document throws an Error with code 'ERR_DOCUMENT_CLOSED'.
 */
export class Document {
  private constructor();
  readonly path: PathLike;
  readonly closed: boolean;
  /** the library's handle, 0..63 */
  readonly handle: number;
  info(): Info;
  stats(): Stats;
  /** Line and column of a byte offset, or of an index into full() with unit 'utf16'. */
  linecol(position: Offset, options?: { unit?: Unit }): LineCol;
  /** Bytes: cut at exactly `length` bytes, a page ending inside a character throws.
   * 'utf16': full().slice(position, position + length), one unit shorter rather than split a
   * surrogate pair; a position between the halves of a pair throws RangeError. */
  text(position?: Offset, length?: number, options?: { unit?: Unit }): Page;
  /** The whole text, up to 64 MiB (67,108,864 bytes); a larger one throws 'ERR_TEXT_TOO_LARGE'. */
  full(): string;
  fullBuffer(): Buffer;
  /** Pieces of at most `size` bytes (or UTF-16 code units), never cutting a character; any size of text. */
  pages(size?: number, options?: { unit?: Unit }): Generator<string, void, void>;
  /** At most maxHits hits (0 or less: 100; at most 100,000); `truncated` says whether more exist. */
  search(query: string | Uint8Array, options?: { caseInsensitive?: boolean; maxHits?: number }): SearchResult;
  /** Every hit search() would find, overlapping ones included, without a limit. */
  count(query: string | Uint8Array, options?: { caseInsensitive?: boolean }): number;
  replacePreview(find: string | Uint8Array, repl: string | Uint8Array,
    options?: { caseInsensitive?: boolean }): ReplacePreview;
  save(path: PathLike, encoding: SaveEncoding): void;
  /** save() on a worker thread. */
  saveAsync(path: PathLike, encoding: SaveEncoding): Promise<void>;
  /** Idempotent. */
  close(): void;
  [Symbol.dispose](): void;
}

/** Files up to 500 MiB (524,288,000 bytes; larger: 'ERR_FILE_TOO_LARGE'), 64 open at a time. */
export function open(path: PathLike): Document;
/** open() on a worker thread. */
export function openAsync(path: PathLike): Promise<Document>;
export function saveText(text: string | Uint8Array, path: PathLike, encoding: SaveEncoding): void;
/** saveText() on a worker thread. */
export function saveTextAsync(text: string | Uint8Array, path: PathLike, encoding: SaveEncoding): Promise<void>;
/** The library's version, "1.0.1". */
export function version(): string;
