#!/usr/bin/env node
'use strict';

// The quobrix-textfile command of the npm package (`npx quobrix-textfile ...`):
// runs the prebuilt tool of this platform (prebuilds/<platform>-<arch>/, beside
// the library it loads) with the arguments, input and output given, and exits
// as it exits. Where the package carries no tool for the platform it says so
// and how to build one.

const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const target = `${process.platform}-${process.arch}`;
const prebuilds = path.join(__dirname, '..', 'prebuilds');
const tool = path.join(prebuilds, target, process.platform === 'win32' ? 'quobrix-textfile.exe' : 'quobrix-textfile');

function carried() {
  try {
    return fs.readdirSync(prebuilds).filter((d) =>
      fs.existsSync(path.join(prebuilds, d, d.startsWith('win32') ? 'quobrix-textfile.exe' : 'quobrix-textfile')));
  } catch {
    return [];
  }
}

function giveUp(why) {
  process.stderr.write(`quobrix-textfile: ${why}. To use the command here, build it from source (the project's ` +
    'README, "Build from source": cmake --preset release && cmake --build --preset release) and run ' +
    'build/release/tools/quobrix-textfile, or install it with cmake --install.\n');
  process.exit(127);
}

if (!fs.existsSync(tool)) {
  const targets = carried();
  giveUp(`this package has no prebuilt command for ${target}` +
    (targets.length > 0 ? ` (it carries one for ${targets.join(', ')})` : ''));
}
// npm keeps the mode of packed files, but an unpacker may not.
try {
  fs.accessSync(tool, fs.constants.X_OK);
} catch {
  try {
    fs.chmodSync(tool, 0o755);
  } catch {
    // Reported by the start below.
  }
}
const run = spawnSync(tool, process.argv.slice(2), { stdio: 'inherit', windowsHide: true });
if (run.error) {
  const glibc = process.platform === 'linux' && process.report && process.report.getReport().header.glibcVersionRuntime;
  giveUp(`the prebuilt command for ${target} could not be started (${run.error.message}` +
    (process.platform === 'linux' && !glibc ? '; it needs glibc 2.17 or later, and this system has another C library' : '') +
    ')');
}
if (run.signal) process.kill(process.pid, run.signal);
process.exit(run.status === null ? 1 : run.status);
