'use strict';
// The synchronous API on small files of each kind.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');
const tf = require('..');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
test.after(() => fs.rmSync(dir, { recursive: true, force: true }));
const file = (name, bytes) => {
  const p = path.join(dir, name);
  if (bytes !== undefined) fs.writeFileSync(p, bytes);
  return p;
};

test('a document answers every query with the library\'s results', () => {
  const p = file('u16.txt', Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from('héllo\r\nabcabc\0€\r\n', 'utf16le')]));
  const doc = tf.open(pathToFileURL(p));
  assert.deepEqual(doc.info(), { encoding: 'utf16le', had_bom: 1, line_ending: 'crlf', bytes: 20, raw_bytes: 36, lines: 2, sanitized: 0 });
  assert.deepEqual(doc.stats(), { lines: 2, words: 3, chars: 17, bytes: 20 });
  assert.deepEqual(doc.linecol(9n), { line: 2, col: 2, col16: 2 });
  assert.deepEqual(doc.linecol(2 ** 62), doc.linecol(20));
  assert.deepEqual(doc.text(-5, 3), { text: 'hé', next_offset: 3 });
  assert.throws(() => doc.text(0, 2), { name: 'TextFileError', message: 'failed to serialize JSON' });
  assert.equal(doc.full(), 'héllo\r\nabcabc\0€\r\n');
  assert.deepEqual(doc.fullBuffer(), Buffer.from('héllo\r\nabcabc\0€\r\n'));
  for (const size of [1, 2, 5, 100]) assert.equal([...doc.pages(size)].join(''), doc.full());
  assert.deepEqual(doc.search('BC', { caseInsensitive: true, maxHits: 1 }),
    { count: 1, query_len: 2, truncated: true, hits: [{ offset: 9, length: 2, index: 8, length16: 2 }] });
  assert.deepEqual(doc.replacePreview(Buffer.from('bc'), 'X'), { count: 2, text: 'héllo\r\naXaX' });
  doc.save(file('out.txt'), 'utf8-bom');
  assert.deepEqual(fs.readFileSync(file('out.txt')), Buffer.from('\ufeffhéllo\r\nabcabc\0€\r\n'));
  doc.close();
  doc.close();
  assert.throws(() => doc.info(), { code: 'ERR_DOCUMENT_CLOSED' });
});

test('arguments the library would cut or cannot take are refused', () => {
  const doc = tf.open(file('a.txt', 'abc'));
  assert.throws(() => tf.open(`${file('a.txt')}\0x`), TypeError);
  assert.throws(() => doc.search('a\0'), TypeError);
  assert.throws(() => doc.replacePreview('a', Buffer.from([0x62, 0])), TypeError);
  assert.throws(() => doc.linecol(2n ** 63n), RangeError);
  assert.throws(() => doc.linecol(1.5), RangeError);
  assert.throws(() => doc.linecol('1'), TypeError);
  assert.throws(() => doc.save(file('b.txt'), 'utf32'), {
    name: 'TextFileError', code: 'ERR_UNKNOWN_ENCODING',
    message: "unsupported encoding 'utf32' (use utf8|utf8-bom|utf16le)" });
  doc[Symbol.dispose]?.();
  tf.saveText('', file('e.txt'), 'utf8');
  assert.equal(fs.statSync(file('e.txt')).size, 0);
  tf.saveText('x\0y', file('z.txt'), 'utf16le');
  assert.deepEqual(fs.readFileSync(file('z.txt')), Buffer.from('\ufeffx\0y', 'utf16le'));
  assert.throws(() => tf.open(file('missing.txt')), {
    name: 'TextFileError', message: `cannot open '${file('missing.txt')}': No such file or directory` });
  assert.equal(tf.version(), '1.0.1');
});

test('when every handle is taken, the error says how many this package holds', () => {
  const docs = Array.from({ length: 64 }, () => tf.open(file('h.txt', 'x')));
  assert.throws(() => tf.open(file('h.txt')), {
    name: 'TextFileError',
    message: 'too many open handles (max 64); 64 of them held by documents of this package that ' +
      'were never closed: close() each document when done (try/finally, or declare it with `using`)',
    heldByUnclosedDocuments: 64, code: 'ERR_TOO_MANY_HANDLES' });
  docs[0].close();
  tf.open(file('h.txt')).close();
  for (const doc of docs) doc.close();
  assert.throws(() => tf.open(file('missing.txt')),
    (error) => error.code === 'ENOENT' && require('util').getSystemErrorName(error.errno) === 'ENOENT');
});
