'use strict';
// Where the library is looked for, in order, and both entry points.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { candidates, libraryNames } = require('../lib/library');
const { notFoundMessage } = require('../lib/platform');

const LIBRARY = process.env.QUOBRIX_TEXTFILE_LIBRARY;
const PACKAGE = path.resolve(__dirname, '..');

test('the variable, then beside the package, then the system path', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  const names = libraryNames();
  assert.deepEqual(candidates({ QUOBRIX_TEXTFILE_LIBRARY: '/x/lib.so' }, dir), ['/x/lib.so']);
  assert.deepEqual(candidates({}, dir), names);
  fs.writeFileSync(path.join(dir, names[0]), '');
  assert.deepEqual(candidates({}, dir), [path.join(dir, names[0]), ...names]);
  fs.rmSync(dir, { recursive: true, force: true });
});

test('the prebuilt library of this platform comes before one beside the package', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  const names = libraryNames();
  const prebuilds = path.join(dir, 'prebuilds', `${process.platform}-${process.arch}`);
  fs.mkdirSync(prebuilds, { recursive: true });
  fs.mkdirSync(path.join(dir, 'prebuilds', 'sunos-mips'));
  fs.writeFileSync(path.join(dir, names[0]), '');
  fs.writeFileSync(path.join(prebuilds, names[0]), '');
  assert.deepEqual(candidates({}, dir), [path.join(prebuilds, names[0]), path.join(dir, names[0]), ...names]);
  fs.rmSync(dir, { recursive: true, force: true });
});

test('the error names the platform, what was tried and how to build from source', () => {
  const tried = [{ candidate: 'libquobrix-textfile.so.1', reason: 'cannot open shared object file' }];
  const other = notFoundMessage(tried, { target: 'linux-riscv64' }, '2.36', fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-')));
  assert.match(other, /^cannot find the quobrix-textfile library for linux-riscv64 with glibc 2\.36: .*carries no prebuilt/);
  assert.match(other, /tried libquobrix-textfile\.so\.1 \(cannot open shared object file\)\. .*Build from source/);
  const old = notFoundMessage([{ candidate: '/p/prebuilds/linux-x64/l.so', reason: "version `GLIBC_2.34' not found" }],
    { target: 'linux-x64' }, '2.31');
  assert.match(old, /the prebuilt library for linux-x64 needs glibc 2\.34 or later, and this system has glibc 2\.31/);
});

test('a copy of the package loads the library beside it, by require and by import', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  const copy = path.join(dir, 'node_modules', 'quobrix-textfile');
  fs.mkdirSync(copy, { recursive: true });
  for (const entry of ['lib', 'package.json', 'index.d.ts']) {
    fs.cpSync(path.join(PACKAGE, entry), path.join(copy, entry), { recursive: true });
  }
  fs.symlinkSync(path.join(PACKAGE, 'node_modules', 'koffi'), path.join(dir, 'node_modules', 'koffi'));
  const run = (args, env) => execFileSync(process.execPath, args, { cwd: dir, env, encoding: 'utf8' }).trim();
  const env = { ...process.env };
  delete env.QUOBRIX_TEXTFILE_LIBRARY;

  assert.throws(() => run(['-e', "require('quobrix-textfile').version()"], env), /cannot find the quobrix-textfile library/);
  fs.copyFileSync(LIBRARY, path.join(copy, libraryNames()[0]));
  assert.equal(run(['-e', "console.log(require('quobrix-textfile').version())"], env), '1.0.1');
  assert.equal(run(['--input-type=module', '-e',
    "import * as tf from 'quobrix-textfile'; import d from 'quobrix-textfile'; console.log(tf.version(), d.open === tf.open)"], env),
  '1.0.1 true');
  // A package of another version refuses the library, naming it and its version.
  const manifest = path.join(copy, 'package.json');
  fs.writeFileSync(manifest, fs.readFileSync(manifest, 'utf8').replace('"version": "1.0.1"', '"version": "9.9.9"'));
  assert.throws(() => run(['-e', "require('quobrix-textfile').version()"], env),
    new RegExp(`library found at ${path.join(copy, libraryNames()[0]).replace(/[.\\]/g, '\\$&')} is version 1\\.0\\.1, but this package is version 9\\.9\\.9`));
  fs.cpSync(path.join(PACKAGE, 'package.json'), manifest);
  // The variable wins over the copy beside the package.
  assert.throws(() => run(['-e', "require('quobrix-textfile').version()"], { ...env, QUOBRIX_TEXTFILE_LIBRARY: path.join(dir, 'none.so') }),
    /cannot load the quobrix-textfile library from QUOBRIX_TEXTFILE_LIBRARY=/);
  fs.rmSync(dir, { recursive: true, force: true });
});

test('the system library path is searched last', { skip: process.platform !== 'linux' }, () => {
  const env = { ...process.env, LD_LIBRARY_PATH: path.dirname(fs.realpathSync(LIBRARY)) };
  delete env.QUOBRIX_TEXTFILE_LIBRARY;
  const out = execFileSync(process.execPath, ['-e', "console.log(require('.').version())"], { cwd: PACKAGE, env, encoding: 'utf8' });
  assert.equal(out.trim(), '1.0.1');
});
