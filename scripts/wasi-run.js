#!/usr/bin/env node
'use strict';
// Runs a WASI command module (a test program of the wasm32-wasi build) under
// Node's WASI, as CMake's CROSSCOMPILING_EMULATOR: `node wasi-run.js prog.wasm
// args...`. The host's whole file system is preopened at /, so absolute paths
// mean what they mean on the host; relative ones start at / (wasi-libc's own
// working directory). Its exit code is the program's.
const fs = require('fs');
const path = require('path');

process.removeAllListeners('warning'); // node:wasi's ExperimentalWarning
const { WASI } = require('wasi');

async function main() {
  const [program, ...args] = process.argv.slice(2);
  const wasi = new WASI({
    version: 'preview1',
    args: [path.basename(program), ...args],
    env: process.env,
    preopens: { '/': '/' },
    // The program's exit ends Node at once (process.exit): returning to
    // JavaScript first made Node 20 crash at exit after a test had grown the
    // module's memory past a few hundred megabytes.
    returnOnExit: false,
  });
  const module = await WebAssembly.compile(fs.readFileSync(program));
  const instance = await WebAssembly.instantiate(module, wasi.getImportObject());
  wasi.start(instance);
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
