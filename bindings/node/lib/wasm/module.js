'use strict';

// The library's WebAssembly build (quobrix-textfile.wasm, a WASI reactor) as
// the same table of functions that koffi gives for the native library
// (library.js): the fourteen tf_* taking strings as Buffers and numbers, and
// returning numbers, strings, or for the results the caller frees a
// WasmPointer (null on failure) that readJson and viewBytes read.
//
// One instance per thread, compiled once per thread: a thread's documents
// live in its instance's memory, so the package's asynchronous calls run on
// the thread that owns the instance (pool.js). Besides the tf_* the module
// exports only malloc and free (for the strings passed in) and chdir (so that
// a relative path means what it means in this process).
//
// A trap (an abort or an access out of bounds; an allocation the module
// cannot make is an ordinary "out of memory" failure) leaves the instance's
// state unknown: the call fails with "out of memory" and the next call starts
// a fresh instance, which holds no open documents.

const fs = require('fs');
const path = require('path');
const { TextFileError } = require('../errors');
const { Wasi, guestPath } = require('./wasi');

const MODULE_NAME = 'quobrix-textfile.wasm';
const OUT_OF_MEMORY = 'out of memory';

// The texts of wasi-libc's strerror where they differ from glibc's, so that a
// message reads as the native library's does (and errors.js finds its code).
const GLIBC_TEXT = new Map(Object.entries({
  'Symbolic link loop': 'Too many levels of symbolic links',
  'Filename too long': 'File name too long',
  'Quota exceeded': 'Disk quota exceeded',
  'Out of memory': 'Cannot allocate memory',
  'I/O error': 'Input/output error',
  'Resource busy': 'Device or resource busy',
  'No file descriptors available': 'Too many open files',
  'Cross-device link': 'Invalid cross-device link',
  'No error information': 'Unknown error',
}));

/** The module's file in this package (prebuilds/wasm32-wasi/). */
function packagedModule(packageDir = path.resolve(__dirname, '..', '..')) {
  return path.join(packageDir, 'prebuilds', 'wasm32-wasi', MODULE_NAME);
}

const isModulePath = (location) => typeof location === 'string' && location.endsWith('.wasm');

/** A string the library returned for the caller to free. */
class WasmPointer {
  constructor(owner, address) {
    this.owner = owner;
    this.address = address;
    this.generation = owner.generation; // the instance it points into
  }

  /** The NUL-terminated UTF-8 string at the pointer. */
  string() {
    return this.owner.readString(this.address);
  }

  /** `length` bytes at the pointer, copied. */
  bytes(length) {
    return this.owner.copyBytes(this.address, length);
  }
}

const compiled = new Map(); // file -> WebAssembly.Module, per thread

class Instance {
  constructor(file) {
    if (!compiled.has(file)) compiled.set(file, new WebAssembly.Module(fs.readFileSync(file)));
    this.file = file;
    this.start();
  }

  start() {
    this.generation = (this.generation ?? 0) + 1;
    const wasi = new Wasi();
    this.instance = new WebAssembly.Instance(compiled.get(this.file), wasi.imports);
    this.exports = this.instance.exports;
    wasi.memory = this.exports.memory;
    this.exports._initialize();
    this.cwd = undefined;
    this.broken = false;
    this.spellings = new Map(); // guest path -> the caller's spelling (Windows)
  }

  readString(address) {
    const memory = new Uint8Array(this.exports.memory.buffer);
    const end = memory.indexOf(0, address);
    return Buffer.from(memory.subarray(address, end < 0 ? memory.length : end)).toString('utf8');
  }

  copyBytes(address, length) {
    return Buffer.from(new Uint8Array(this.exports.memory.buffer, address, length));
  }

  /** Copies bytes into a new block of the module's memory; its address. */
  place(bytes) {
    const address = this.exports.malloc(Math.max(bytes.length, 1));
    if (address === 0) throw new TextFileError(OUT_OF_MEMORY);
    new Uint8Array(this.exports.memory.buffer, address, bytes.length).set(bytes);
    return address;
  }

  /** The module's working directory follows this process's (`put` places
   * the path as run() places a call's arguments). */
  followCwd(put) {
    const cwd = process.cwd();
    if (cwd === this.cwd) return;
    if (this.exports.chdir(put(Buffer.from(`${guestPath(cwd)}\0`, 'utf8'))) === 0) this.cwd = cwd;
  }

  /** Runs `body` over the module (after following the working directory
   * when it takes paths); a trap fails the call with "out of memory" and
   * retires this instance's state. */
  run(body, takesPaths = false) {
    if (this.broken) this.start();
    const blocks = [];
    const put = (bytes) => {
      const address = this.place(bytes);
      blocks.push(address);
      return address;
    };
    try {
      if (takesPaths) this.followCwd(put);
      return body(put);
    } catch (error) {
      if (!(error instanceof WebAssembly.RuntimeError)) throw error;
      this.broken = true;
      throw new TextFileError(OUT_OF_MEMORY);
    } finally {
      if (!this.broken) for (const address of blocks) this.exports.free(address);
    }
  }
}

/** A path argument as the module takes it: on Windows as UTF-8 with slashes
 * ("C:\a\b" reaches the library as "/C:/a/b"); elsewhere unchanged. The
 * spellings are remembered so that a message naming the path names it as
 * the caller wrote it, as the native library's messages do. */
function pathBytes(bytes, instance) {
  if (process.platform !== 'win32') return bytes;
  const text = Buffer.from(bytes).toString('utf8').replace(/\0$/, '');
  const guest = guestPath(text);
  instance.spellings.delete(guest);
  instance.spellings.set(guest, text);
  if (instance.spellings.size > 8) instance.spellings.delete(instance.spellings.keys().next().value);
  return Buffer.from(`${guest}\0`, 'utf8');
}

/** message with each quoted path the module was given in its guest spelling
 * ('/C:/a/b', '/C:/a/b.tmp') put back in the caller's ('C:\a\b'). */
function callerSpelling(message, instance) {
  for (const [guest, host] of instance.spellings) {
    message = message.split(`'${guest}'`).join(`'${host}'`).split(`'${guest}.tmp'`).join(`'${host}.tmp'`);
  }
  return message;
}

function glibcWording(message) {
  const at = message.lastIndexOf(': ');
  if (at < 0) return message;
  const text = GLIBC_TEXT.get(message.slice(at + 2));
  return text === undefined ? message : message.slice(0, at + 2) + text;
}

const instances = new Map(); // file -> Instance, per thread

/** The function table over the module at `file` (this thread's instance). */
function bindModule(file) {
  let instance = instances.get(file);
  if (instance === undefined) {
    instance = new Instance(file);
    instances.set(file, instance);
  }
  const e = () => instance.exports;
  const pointer = (address) => (address === 0 ? null : new WasmPointer(instance, address));
  const int64 = (value) => BigInt(value);
  return {
    tf_version: () => instance.run(() => instance.readString(e().tf_version())),
    tf_last_error: () =>
      instance.run(() => callerSpelling(glibcWording(instance.readString(e().tf_last_error())), instance)),
    tf_free_string: (p) => {
      if (p instanceof WasmPointer && p.owner === instance && p.generation === instance.generation &&
        !instance.broken) {
        e().free(p.address);
      }
    },
    tf_open: (p) => instance.run((put) => e().tf_open(put(pathBytes(p, instance))), true),
    tf_close: (h) => instance.run(() => e().tf_close(h)),
    tf_info: (h) => instance.run(() => pointer(e().tf_info(h))),
    tf_text: (h, offset, max) => instance.run(() => pointer(e().tf_text(h, int64(offset), max))),
    tf_full: (h) => instance.run(() => pointer(e().tf_full(h))),
    tf_stats: (h) => instance.run(() => pointer(e().tf_stats(h))),
    tf_linecol: (h, offset) => instance.run(() => pointer(e().tf_linecol(h, int64(offset)))),
    tf_search: (h, query, fold, max) => instance.run((put) => pointer(e().tf_search(h, put(query), fold, max))),
    tf_replace_preview: (h, find, repl, fold) =>
      instance.run((put) => pointer(e().tf_replace_preview(h, put(find), put(repl), fold))),
    tf_save: (h, p, encoding) => instance.run((put) => e().tf_save(h, put(pathBytes(p, instance)), put(encoding)), true),
    tf_save_text: (text, length, p, encoding) =>
      instance.run((put) => e().tf_save_text(put(text), length, put(pathBytes(p, instance)), put(encoding)), true),
  };
}

module.exports = { WasmPointer, bindModule, isModulePath, packagedModule };
