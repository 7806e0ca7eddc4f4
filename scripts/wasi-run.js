#!/usr/bin/env node
'use strict';
// Runs a WASI command module (a test program of the wasm32-wasi build) as
// CMake's CROSSCOMPILING_EMULATOR: `node wasi-run.js prog.wasm args...`, over
// the npm package's own WASI functions (bindings/node/lib/wasm/wasi.js), so
// the suite exercises them too, plus what a test program needs beyond the
// library: its arguments and environment, clocks, directories. The host's
// whole file system is the module's, and its working directory this
// process's. The program's exit code is this process's.
const fs = require('fs');
const path = require('path');
const { ERRNO, ProcExit, Wasi, errnoOf, guestPath } = require('../bindings/node/lib/wasm/wasi');

const [program, ...args] = process.argv.slice(2);
const wasi = new Wasi();
const view = () => new DataView(wasi.memory.buffer);
const bytes = (address, length) => new Uint8Array(wasi.memory.buffer, address, length);

/** Strings laid out as C's argv or environ: pointers, then the bytes. */
function strings(list) {
  const encoded = list.map((s) => Buffer.from(`${s}\0`, 'utf8'));
  return {
    sizes: (countOut, sizeOut) => {
      view().setUint32(countOut, encoded.length, true);
      view().setUint32(sizeOut, encoded.reduce((n, b) => n + b.length, 0), true);
      return 0;
    },
    get: (pointers, buffer) => {
      let at = buffer;
      encoded.forEach((b, k) => {
        view().setUint32(pointers + 4 * k, at, true);
        bytes(at, b.length).set(b);
        at += b.length;
      });
      return 0;
    },
  };
}
const argv = strings([path.basename(program), ...args]);
const environ = strings(Object.entries(process.env).map(([k, v]) => `${k}=${v}`));
const guard = (f) => (...a) => {
  try {
    return f(...a) ?? 0;
  } catch (error) {
    return errnoOf(error);
  }
};
const extra = {
  args_sizes_get: argv.sizes,
  args_get: argv.get,
  environ_sizes_get: environ.sizes,
  environ_get: environ.get,
  clock_time_get: (id, _precision, out) => {
    const now = id === 0 ? BigInt(Date.now()) * 1000000n : process.hrtime.bigint();
    view().setBigUint64(out, now, true);
    return 0;
  },
  fd_fdstat_set_flags: () => 0,
  path_create_directory: guard((dirfd, address, length) => {
    fs.mkdirSync(wasi.hostPath(dirfd, address, length));
  }),
  path_remove_directory: guard((dirfd, address, length) => {
    fs.rmdirSync(wasi.hostPath(dirfd, address, length));
  }),
  // Entries from the cookie on, as many as fit (the last one may be cut).
  fd_readdir: guard((fd, buffer, length, cookie, usedOut) => {
    const file = wasi.files.get(fd);
    if (file === undefined || !file.directory) return ERRNO.EBADF;
    const names = fs.readdirSync(file.host);
    let used = 0;
    for (let k = Number(cookie); k < names.length && used < length; k++) {
      const name = Buffer.from(names[k], 'utf8');
      const entry = Buffer.alloc(24 + name.length);
      entry.writeBigUInt64LE(BigInt(k + 1), 0);
      entry.writeUInt32LE(name.length, 16);
      entry.writeUInt8(0, 20);
      name.copy(entry, 24);
      const n = Math.min(entry.length, length - used);
      bytes(buffer + used, n).set(entry.subarray(0, n));
      used += n;
    }
    view().setUint32(usedOut, used, true);
    return 0;
  }),
};
const base = wasi.imports.wasi_snapshot_preview1;
const imports = { wasi_snapshot_preview1: new Proxy({}, { get: (_t, name) => extra[name] ?? base[name] }) };

try {
  const instance = new WebAssembly.Instance(new WebAssembly.Module(fs.readFileSync(program)), imports);
  wasi.memory = instance.exports.memory;
  // The working directory: relative paths mean what they mean here.
  void guestPath;
  instance.exports._start();
  process.exitCode = 0;
} catch (error) {
  if (!(error instanceof ProcExit)) throw error;
  process.exitCode = error.code;
}
