'use strict';
// Where the library is looked for, in order, and both entry points.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { candidates, libraryNames } = require('../lib/library');

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
