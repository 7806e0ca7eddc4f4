'use strict';

// Finding and loading the shared library, its prototypes, and the calls whose
// failures get their own message (gate.js). Used by the main thread and by
// each worker. Where no native library loads, or QUOBRIX_TEXTFILE_WASM asks
// for it, the library's WebAssembly build stands in (wasm/module.js), with
// the same functions.

const fs = require('fs');
const path = require('path');
const { TextFileError } = require('./errors');
const { attributed } = require('./gate');
const { whose } = require('./messages');
const { hostPlatform, loadedPath, notFoundMessage } = require('./platform');
const wasm = require('./wasm/module');

// koffi is loaded only for a native library: the WebAssembly build runs even
// where koffi has no binary.
let koffiModule;
const koffi = () => (koffiModule ??= require('koffi'));

const ENVIRONMENT_VARIABLE = 'QUOBRIX_TEXTFILE_LIBRARY';
// "1": use the package's WebAssembly build even where a native library loads;
// a path ending in .wasm: use that module.
const WASM_VARIABLE = 'QUOBRIX_TEXTFILE_WASM';
const PACKAGE_DIR = path.resolve(__dirname, '..');
const PACKAGE_VERSION = require('../package.json').version;

const PROTOTYPES = [
  'const char *tf_version()',
  'const char *tf_last_error()',
  'void tf_free_string(void *s)',
  'int tf_open(const char *path)',
  'int tf_close(int h)',
  'void *tf_info(int h)',
  'void *tf_text(int h, int64_t offset, int32_t max_bytes)',
  'void *tf_full(int h)',
  'void *tf_stats(int h)',
  'void *tf_linecol(int h, int64_t offset)',
  'void *tf_search(int h, const char *query, int case_insensitive, int max_hits)',
  'void *tf_replace_preview(int h, const char *find, const char *repl, int case_insensitive)',
  'int tf_save(int h, const char *path, const char *encoding)',
  'int tf_save_text(const uint8_t *text, int32_t length, const char *path, const char *encoding)',
];

/** File names of the library on this platform, the versioned one first. */
function libraryNames(platform = process.platform) {
  if (platform === 'win32') return ['quobrix-textfile.dll'];
  if (platform === 'darwin') return ['libquobrix-textfile.1.dylib', 'libquobrix-textfile.dylib'];
  return ['libquobrix-textfile.so.1', 'libquobrix-textfile.so'];
}

/**
 * Where the library is looked for, in order: the path in
 * QUOBRIX_TEXTFILE_LIBRARY alone when it is set; else the package's prebuilt
 * library for this platform (prebuilds/<platform>-<arch>/); else a library
 * beside the package (its root folder); else the names on the system's
 * library path. Only the files that exist are listed, the names always.
 */
function candidates(env = process.env, packageDir = PACKAGE_DIR, host = hostPlatform()) {
  const explicit = env[ENVIRONMENT_VARIABLE];
  if (explicit) return [explicit];
  const names = libraryNames(host.platform);
  const prebuilt = names.map((name) => path.join(packageDir, 'prebuilds', host.target, name));
  const beside = names.map((name) => path.join(packageDir, name));
  return prebuilt.concat(beside).filter((p) => fs.existsSync(p)).concat(names);
}

function loadFirst(list) {
  const tried = [];
  for (const candidate of list) {
    try {
      return { lib: koffi().load(candidate), location: candidate };
    } catch (error) {
      tried.push({ candidate, reason: error.message });
    }
  }
  const explicit = process.env[ENVIRONMENT_VARIABLE];
  if (explicit) {
    throw new TextFileError(`cannot load the quobrix-textfile library from ${ENVIRONMENT_VARIABLE}=${explicit}: ` +
      `${tried[0].candidate} (${tried[0].reason})`);
  }
  throw new TextFileError(notFoundMessage(tried));
}

/**
 * The version check: this package speaks to the library of its own version
 * only, so that a stale library on the system path is named, not misused.
 */
function checkVersion(found, location) {
  if (found === PACKAGE_VERSION) return;
  throw new TextFileError(`the quobrix-textfile library found at ${loadedPath(location)} is version ${found}, ` +
    `but this package is version ${PACKAGE_VERSION}: install the library of version ${PACKAGE_VERSION}, ` +
    `or point ${ENVIRONMENT_VARIABLE} at it`);
}

/** The koffi functions of a loaded native library. */
function nativeFunctions(lib) {
  const fn = {};
  for (const prototype of PROTOTYPES) {
    const name = /(tf_\w+)\(/.exec(prototype)[1];
    try {
      fn[name] = lib.func(prototype);
    } catch {
      fn[name] = () => {
        throw new TextFileError(`the loaded quobrix-textfile library has no ${name}`);
      };
    }
  }
  return fn;
}

/** The module QUOBRIX_TEXTFILE_WASM asks for, or undefined. */
function forcedModule(env = process.env) {
  const value = env[WASM_VARIABLE];
  if (!value || value === '0') return undefined;
  return wasm.isModulePath(value) ? path.resolve(value) : wasm.packagedModule();
}

let defaultChoice; // this thread's { fn, location } when none is given

/**
 * The functions and where they come from: `location` when given (a worker
 * passes the main thread's choice); else the forced WebAssembly module; else
 * the first native library that loads; else, unless QUOBRIX_TEXTFILE_LIBRARY
 * names one, the package's WebAssembly build.
 */
function load(location) {
  if (location) {
    if (wasm.isModulePath(location)) return { fn: wasm.bindModule(location), location };
    const { lib } = loadFirst([location]);
    return { fn: nativeFunctions(lib), location };
  }
  if (defaultChoice !== undefined) return defaultChoice;
  const forced = forcedModule();
  if (forced !== undefined) {
    defaultChoice = { fn: wasm.bindModule(forced), location: forced };
    return defaultChoice;
  }
  try {
    const { lib, location: loaded } = loadFirst(candidates());
    defaultChoice = { fn: nativeFunctions(lib), location: loaded };
  } catch (error) {
    const file = wasm.packagedModule();
    if (process.env[ENVIRONMENT_VARIABLE] || !fs.existsSync(file)) throw error;
    defaultChoice = { fn: wasm.bindModule(file), location: file };
  }
  return defaultChoice;
}

/** Whether this thread's calls go to the WebAssembly build. */
function usesWasm() {
  return wasm.isModulePath(load(undefined).location);
}

/**
 * The library's functions and the calls over them that throw each failure
 * with its own message. `location` is what to load (a worker passes the main
 * thread's choice).
 */
function bind(location) {
  const { fn, location: loaded } = load(location);
  checkVersion(fn.tf_version(), loaded);

  // One call; a failure is thrown with its own message (gate.js).
  function call(name, args, failed) {
    const f = fn[name];
    const { result, message } = attributed(() => {
      const r = f(...args);
      return failed(r) ? { result: r, message: fn.tf_last_error() } : { result: r };
    }, (m) => whose(name, args, m), name);
    if (message !== undefined) throw new TextFileError(message);
    return result;
  }

  const negative = (r) => r < 0;
  const isNull = (r) => r === null;

  /** Calls an export that returns an int; -1 throws. */
  function callInt(name, ...args) {
    return call(name, args, negative);
  }

  /** Calls an export that returns a string and hands the pointer to read();
   * the string is released whatever read() does. */
  function callString(name, args, read) {
    const pointer = call(name, args, isNull);
    try {
      return read(pointer);
    } finally {
      fn.tf_free_string(pointer);
    }
  }

  /** Like callString, but a failure gives undefined and no message is read:
   * for probes whose failure is expected and says all that is needed. */
  function tryString(name, args, read) {
    const pointer = fn[name](...args);
    if (pointer === null) return undefined;
    try {
      return read(pointer);
    } finally {
      fn.tf_free_string(pointer);
    }
  }

  return { fn, location: loaded, callInt, callString, tryString };
}

const readJson = (pointer) =>
  JSON.parse(pointer instanceof wasm.WasmPointer ? pointer.string() : koffi().decode(pointer, 'char', -1));
/** The bytes of a result as a Buffer over the library's memory: copy or
 * decode it before the string is released. */
const viewBytes = (pointer, length) =>
  (pointer instanceof wasm.WasmPointer ? pointer.bytes(length) : Buffer.from(koffi().view(pointer, length)));

module.exports = {
  ENVIRONMENT_VARIABLE,
  PACKAGE_VERSION,
  WASM_VARIABLE,
  bind,
  usesWasm,
  candidates,
  libraryNames,
  readJson,
  viewBytes,
};
