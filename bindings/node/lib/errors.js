'use strict';

/**
 * A failure reported by the library. `message` is the library's own message
 * for the failed call, word for word (for instance "invalid handle" or
 * "cannot open 'x.txt': No such file or directory"). Also thrown when the
 * shared library cannot be found or loaded.
 */
class TextFileError extends Error {
  constructor(message) {
    super(message);
    this.name = 'TextFileError';
  }
}

module.exports = { TextFileError };
