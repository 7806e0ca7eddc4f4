'use strict';

// Paths as the library takes them: narrow byte strings handed to the file
// calls unchanged. On Windows those calls read the ANSI code page, so a string
// path is converted to it here, and a name the code page cannot express is
// refused (a best-fit substitute could name another file). Elsewhere the
// file calls take UTF-8, as the rest of the package passes strings. Buffers
// are passed unchanged everywhere.

const { fileURLToPath } = require('url');
const { TextFileError } = require('./errors');

const CP_UTF8 = 65001;
const LONE_SURROGATE = /[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/;
const WC_NO_BEST_FIT_CHARS = 0x400;

let kernel32;

/** GetACP and WideCharToMultiByte through koffi, loaded on first use. */
function windowsApi() {
  if (kernel32 === undefined) {
    const lib = require('koffi').load('kernel32.dll');
    kernel32 = {
      GetACP: lib.func('uint32_t GetACP()'),
      WideCharToMultiByte: lib.func('int WideCharToMultiByte(uint32_t CodePage, uint32_t dwFlags, ' +
        'const void *lpWideCharStr, int cchWideChar, void *lpMultiByteStr, int cbMultiByte, ' +
        'const void *lpDefaultChar, void *lpUsedDefaultChar)'),
    };
  }
  return kernel32;
}

function unrepresentable(text, codePage) {
  const error = new TextFileError(`cannot pass the path '${text}' to the library: the ANSI code page ` +
    `${codePage} (this system's narrow path encoding) cannot express all of its characters; rename the ` +
    `file, or pass the path as a Buffer of code page ${codePage} bytes`);
  error.code = 'ERR_PATH_CODE_PAGE';
  return error;
}

/** `text` in the ANSI code page, through `api` (GetACP, WideCharToMultiByte). */
function toAnsiCodePage(text, api = windowsApi()) {
  const codePage = api.GetACP();
  if (text.length === 0) return Buffer.alloc(0);
  if (codePage === CP_UTF8) {
    // This code page takes no flags: a lone surrogate is what it cannot express.
    if (LONE_SURROGATE.test(text)) throw unrepresentable(text, codePage);
    return Buffer.from(text, 'utf8');
  }
  const wide = Buffer.from(text, 'utf16le');
  const size = api.WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, text.length, null, 0, null, null);
  if (size <= 0) throw unrepresentable(text, codePage);
  const bytes = Buffer.alloc(size);
  const usedDefault = new Int32Array(1);
  const written = api.WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, text.length, bytes, size, null,
    usedDefault);
  if (written !== size || usedDefault[0] !== 0) throw unrepresentable(text, codePage);
  return bytes;
}

/**
 * A path (string, Buffer or file: URL) as the library should get it: a
 * string path as is, or on Windows as a Buffer in the ANSI code page; a
 * Buffer unchanged. A string holding U+0000 is left for the caller to refuse.
 */
function nativePath(value, platform = process.platform, api = undefined) {
  const text = value instanceof URL ? fileURLToPath(value) : value;
  if (platform !== 'win32' || typeof text !== 'string' || text.includes('\0')) return text;
  // The WebAssembly build takes UTF-8 on every system (wasm/module.js).
  if (api === undefined && require('./library').usesWasm()) return text;
  return toAnsiCodePage(text, api);
}

module.exports = { nativePath, toAnsiCodePage };
