/// <reference types="node" />

/** A failure reported by the library; `message` is its own message for the call. */
export class TextFileError extends Error {
  name: 'TextFileError';
  /** Where the message ends in the system's reason: its name, as Node's errors have it ('ENOENT', ...);
   * 'ERR_PATH_CODE_PAGE' for a Windows path the ANSI code page cannot express. */
  code?: string;
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
  words: number;
  /** code points */
  chars: number;
  bytes: number;
}

export interface LineCol {
  line: number;
  /** 1-based, in bytes */
  col: number;
}

export interface Page {
  /** the page up to its first U+0000 */
  text: string;
  next_offset: number;
}

export interface SearchResult {
  count: number;
  query_len: number;
  hits: Array<{ offset: number; length: number }>;
}

export interface ReplacePreview {
  count: number;
  /** the first 1 MiB of the result (left out only when memory ran short) */
  text?: string;
  truncated?: true;
}

/** Page size of Document.text() and Document.pages() when none is given. */
export const DEFAULT_PAGE_BYTES: number;

/**
 * An open file. Offsets and lengths are byte counts in the decoded UTF-8
 * text. Using a closed document throws an Error with code 'ERR_DOCUMENT_CLOSED'.
 */
export class Document {
  private constructor();
  readonly path: PathLike;
  readonly closed: boolean;
  /** the library's handle, 0..63 */
  readonly handle: number;
  info(): Info;
  stats(): Stats;
  linecol(offset: Offset): LineCol;
  /** Cut at exactly maxBytes: a page ending inside a character throws. */
  text(offset?: Offset, maxBytes?: number): Page;
  /** The whole text (up to 64 MiB). */
  full(): string;
  fullBuffer(): Buffer;
  /** Pieces of at most `size` UTF-8 bytes, never cutting a character. */
  pages(size?: number): Generator<string, void, void>;
  search(query: string | Uint8Array, options?: { caseInsensitive?: boolean; maxHits?: number }): SearchResult;
  replacePreview(find: string | Uint8Array, repl: string | Uint8Array,
    options?: { caseInsensitive?: boolean }): ReplacePreview;
  save(path: PathLike, encoding: SaveEncoding): void;
  /** save() on a worker thread. */
  saveAsync(path: PathLike, encoding: SaveEncoding): Promise<void>;
  /** Idempotent. */
  close(): void;
  [Symbol.dispose](): void;
}

export function open(path: PathLike): Document;
/** open() on a worker thread. */
export function openAsync(path: PathLike): Promise<Document>;
export function saveText(text: string | Uint8Array, path: PathLike, encoding: SaveEncoding): void;
/** saveText() on a worker thread. */
export function saveTextAsync(text: string | Uint8Array, path: PathLike, encoding: SaveEncoding): Promise<void>;
/** The library's version, "1.0.1". */
export function version(): string;
