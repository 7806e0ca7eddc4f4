'use strict';

// quobrix-textfile: plain-text files in UTF-8, UTF-8 with BOM, UTF-16LE with
// BOM or a single-byte encoding ("ansi"), decoded to UTF-8 once and queried.
// The shared library is found through QUOBRIX_TEXTFILE_LIBRARY, then beside
// this package, then on the system's library path.

module.exports = require('./document');
