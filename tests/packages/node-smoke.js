'use strict';
// The installed Node package, used as its user would: copied into a folder
// where `npm install quobrix-textfile-<v>.tgz` ran, run there with no
// variable set. Writes one line per check to the file named by its argument
// (Node for Windows under wine cannot write to a pipe) and ends it with
// "done N checks" when every check passed. With SMOKE_EXPECT_WASM=1 the
// package is expected to run its WebAssembly build instead (forced with
// QUOBRIX_TEXTFILE_WASM=1, or chosen because no native library is there).
//   node node-smoke.js RESULTS_FILE
const assert = require('assert/strict');
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');
const tf = require('quobrix-textfile');

const results = process.argv[2];
const work = path.join(__dirname, 'smoke-files');
const windows = process.platform === 'win32';
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work);
fs.writeFileSync(results, '');
const report = (line) => fs.appendFileSync(results, `${line}\n`);
const file = (name) => path.join(work, name);
const checks = [];
const check = (name, body) => checks.push([name, body]);

// Windows names reach the library in the ANSI code page: "café" is in every
// Western one; "日本" in none of them.
const CAFE = 'café.txt';
const TEXT = 'héllo café\r\nsecond café line\r\n';

check('the version is the package\'s', () => {
  assert.equal(tf.version(), require('quobrix-textfile/package.json').version);
});

check('the library is the package\'s prebuilt one', () => {
  if (process.platform !== 'linux') return;
  const target = `${process.platform}-${process.arch}`;
  const mapped = fs.readFileSync('/proc/self/maps', 'utf8').split('\n')
    .filter((l) => l.includes('libquobrix-textfile')).map((l) => l.slice(l.indexOf('/')));
  if (process.env.SMOKE_EXPECT_WASM === '1') {
    assert.deepEqual(mapped, [], 'a native library was loaded');
    return;
  }
  assert.ok(mapped.length > 0, 'no library mapped');
  for (const m of mapped) {
    assert.ok(m.endsWith(`/node_modules/quobrix-textfile/prebuilds/${target}/libquobrix-textfile.so.1`), m);
  }
});

check('open, info, stats, text, linecol', () => {
  fs.writeFileSync(file(CAFE), Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from(TEXT, 'utf16le')]));
  const doc = tf.open(file(CAFE));
  try {
    const info = doc.info();
    assert.equal(info.encoding, 'utf16le');
    assert.equal(info.line_ending, 'crlf');
    assert.equal(info.bytes, Buffer.byteLength(TEXT));
    assert.equal(doc.stats().lines, 2);
    assert.equal(doc.full(), TEXT);
    assert.deepEqual(doc.text(0, 6), { text: 'héllo', next_offset: 6 });
    assert.deepEqual(doc.linecol(14), { line: 2, col: 1, col16: 1 });
    assert.equal([...doc.pages(5)].join(''), TEXT);
  } finally {
    doc.close();
  }
});

check('search and preview', () => {
  const doc = tf.open(pathToFileURL(file(CAFE)));
  try {
    const hits = doc.search('CAFÉ', { caseInsensitive: true });
    assert.equal(hits.count, 0); // folding is ASCII-only: É is not é
    assert.deepEqual(doc.search('café').hits.map((h) => h.offset), [7, 21]);
    const preview = doc.replacePreview('café', 'tea');
    assert.equal(preview.count, 2);
    assert.equal(preview.text, TEXT.replaceAll('café', 'tea'));
  } finally {
    doc.close();
  }
});

check('save and saveText', () => {
  const doc = tf.open(file(CAFE));
  try {
    doc.save(file('café-utf8.txt'), 'utf8');
  } finally {
    doc.close();
  }
  assert.equal(fs.readFileSync(file('café-utf8.txt'), 'utf8'), TEXT);
  tf.saveText('zoë\n', file('zoë.txt'), 'utf8-bom');
  assert.deepEqual(fs.readFileSync(file('zoë.txt')), Buffer.from('\ufeffzoë\n'));
  assert.equal(fs.existsSync(file('zoë.txt.tmp')), false);
});

check('openAsync, saveAsync and saveTextAsync', async () => {
  const doc = await tf.openAsync(file(CAFE));
  try {
    await doc.saveAsync(file('café-async.txt'), 'utf16le');
  } finally {
    doc.close();
  }
  assert.deepEqual(fs.readFileSync(file('café-async.txt')), fs.readFileSync(file(CAFE)));
  await tf.saveTextAsync('async\n', file('café-text.txt'), 'utf8');
  assert.equal(fs.readFileSync(file('café-text.txt'), 'utf8'), 'async\n');
  await assert.rejects(tf.openAsync(file('missing.txt')), { name: 'TextFileError', message: /^cannot open / });
});

check('errors carry the library\'s message', () => {
  assert.throws(() => tf.open(file('missing.txt')), { name: 'TextFileError', message: /^cannot open .*missing\.txt/ });
  const doc = tf.open(file(CAFE));
  try {
    assert.throws(() => doc.save(file('x.txt'), 'latin1'), { name: 'TextFileError' });
  } finally {
    doc.close();
  }
  assert.throws(() => doc.info(), { code: 'ERR_DOCUMENT_CLOSED' });
});

check('a name outside the ANSI code page', () => {
  fs.writeFileSync(file('日本.txt'), 'nihon\n');
  // The WebAssembly build takes UTF-8 paths on Windows too.
  if (!windows || process.env.SMOKE_EXPECT_WASM === '1') {
    const doc = tf.open(file('日本.txt'));
    assert.equal(doc.full(), 'nihon\n');
    doc.close();
    return;
  }
  assert.throws(() => tf.open(file('日本.txt')), { code: 'ERR_PATH_CODE_PAGE', message: /ANSI code page \d+/ });
  assert.throws(() => tf.saveText('x', file('日本2.txt'), 'utf8'), { code: 'ERR_PATH_CODE_PAGE' });
  assert.equal(fs.existsSync(file('日本2.txt')), false);
});

(async () => {
  let failed = 0;
  for (const [name, body] of checks) {
    try {
      await body();
      report(`ok ${name}`);
    } catch (error) {
      failed += 1;
      report(`not ok ${name}: ${String(error && error.stack).split('\n').slice(0, 4).join(' | ')}`);
    }
  }
  fs.rmSync(work, { recursive: true, force: true });
  if (failed === 0) report(`done ${checks.length} checks`);
  process.exitCode = failed === 0 ? 0 : 1;
})();
