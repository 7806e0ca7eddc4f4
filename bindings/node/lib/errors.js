'use strict';

const util = require('util');

/**
 * A failure reported by the library. `message` is the library's own message
 * for the failed call, word for word (for instance "invalid handle" or
 * "cannot open 'x.txt': No such file or directory"). Where that message ends
 * in the system's text for an error, `code` names it as Node's own errors do
 * ('ENOENT', 'EACCES', ...) and `errno` is its number; the library's limits
 * and an unknown encoding have codes of their own (LIMIT_CODES). Also thrown
 * when the shared library cannot be found or loaded.
 */
class TextFileError extends Error {
  constructor(message) {
    super(message);
    this.name = 'TextFileError';
    const code = systemCode(message) ?? LIMIT_CODES.find(([pattern]) => pattern.test(message))?.[1];
    if (code !== undefined) {
      this.code = code;
      const errno = ERRNO_BY_CODE.get(code);
      if (errno !== undefined) this.errno = errno;
    }
  }
}

// The library's messages that get a code of the package's own.
const LIMIT_CODES = [
  [/^file too large \(\d+ bytes; max \d+\)$/, 'ERR_FILE_TOO_LARGE'],
  [/^too many open handles \(max \d+\)/, 'ERR_TOO_MANY_HANDLES'],
  [/^unsupported encoding '/, 'ERR_UNKNOWN_ENCODING'],
];

// The library's messages that end in "<what>: <the system's text>".
const SYSTEM_TEXT_MESSAGE = /^(cannot open '|cannot create temp file '|(write|fflush|directory sync) failed: )/;
// The C runtime's texts (glibc's, and Windows' where it differs) of the
// errors a file operation meets; other texts are looked up in Node's own
// table, which words some of these differently.
const CODE_BY_TEXT = new Map(Object.entries({
  'No such file or directory': 'ENOENT',
  'Permission denied': 'EACCES',
  'Operation not permitted': 'EPERM',
  'File exists': 'EEXIST',
  'Not a directory': 'ENOTDIR',
  'Is a directory': 'EISDIR',
  'Invalid argument': 'EINVAL',
  'Too many open files in system': 'ENFILE',
  'Too many open files': 'EMFILE',
  'File too large': 'EFBIG',
  'No space left on device': 'ENOSPC',
  'Read-only file system': 'EROFS',
  'File name too long': 'ENAMETOOLONG',
  'Filename too long': 'ENAMETOOLONG',
  'Too many levels of symbolic links': 'ELOOP',
  'Input/output error': 'EIO',
  'Device or resource busy': 'EBUSY',
  'Disk quota exceeded': 'EDQUOT',
  'Cannot allocate memory': 'ENOMEM',
  'Not enough space': 'ENOMEM',
  'Interrupted system call': 'EINTR',
  'Interrupted function call': 'EINTR',
  'Resource temporarily unavailable': 'EAGAIN',
  'Invalid cross-device link': 'EXDEV',
  'Improper link': 'EXDEV',
  'Text file busy': 'ETXTBSY',
  'Stale file handle': 'ESTALE',
}));
const ERRNO_BY_CODE = new Map();
for (const [errno, [code, text]] of util.getSystemErrorMap()) {
  ERRNO_BY_CODE.set(code, errno);
  if (!CODE_BY_TEXT.has(text)) CODE_BY_TEXT.set(text.toLowerCase(), code);
}

function systemCode(message) {
  if (typeof message !== 'string' || !SYSTEM_TEXT_MESSAGE.test(message)) return undefined;
  const text = message.slice(message.lastIndexOf(': ') + 2);
  return CODE_BY_TEXT.get(text) ?? CODE_BY_TEXT.get(text.toLowerCase());
}

module.exports = { TextFileError };
