'use strict';
// Positions in UTF-16 code units beside the library's byte offsets, search
// totals beyond the hit limit, and the limits' errors.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const tf = require('..');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
test.after(() => fs.rmSync(dir, { recursive: true, force: true }));
const doc = (name, content) => {
  const file = path.join(dir, name);
  fs.writeFileSync(file, content);
  return tf.open(file);
};

// Characters of 1, 2, 3 and 4 bytes, U+0000 and line breaks among them;
// 96 KB, past the first piece the text is read in.
const MIXED = 'ab é中😀\0x\r\n'.repeat(6000) + '😀😀é\nend';

test('hits, positions and pages in UTF-16 code units slice the string of full()', () => {
  const d = doc('mixed.txt', MIXED);
  const full = d.full();
  assert.equal(full, MIXED);
  for (const query of ['a', 'é', '中', '😀', '😀😀', 'x\r\n', 'b é中😀', '\ud83d\ude00é']) {
    const found = d.search(query, { maxHits: 100_000 });
    assert.ok(found.count > 0 && !found.truncated);
    for (const hit of found.hits) assert.equal(full.slice(hit.index, hit.index + hit.length16), query);
  }
  for (const index of [0, 3, 4, 5, 7, 10, 11, full.length - 7, full.length]) {
    const before = full.slice(0, index);
    const lineStart = Math.max(before.lastIndexOf('\n'), before.lastIndexOf('\r')) + 1;
    const where = d.linecol(index, { unit: 'utf16' });
    assert.equal(where.col16, index - lineStart + 1);
    assert.deepEqual(where, d.linecol(Buffer.byteLength(before)));
    for (const length of [1, 6, 7]) {
      const page = d.text(index, length, { unit: 'utf16' });
      const splits = /[\ud800-\udbff]$/.test(full.slice(index, index + length));
      assert.equal(page.text, full.slice(index, index + length + (!splits ? 0 : length === 1 ? 1 : -1)));
      assert.equal(page.next_offset, Buffer.byteLength(before + page.text));
      assert.equal(page.next_index, index + page.text.length);
    }
  }
  assert.throws(() => d.text(6, 1, { unit: 'utf16' }), RangeError); // between the halves of 😀
  assert.throws(() => d.text(0, 1, { unit: 'char' }), RangeError);
  d.close();
  const start = MIXED.slice(0, 301);
  const small = doc('small.txt', start);
  for (const size of [1, 2, 5, 4096]) {
    const pages = [...small.pages(size, { unit: 'utf16' })];
    assert.equal(pages.join(''), start);
    assert.ok(pages.every((p) => p.length > 0 && p.length <= Math.max(size, 2)));
  }
  small.close();
});

test('search says when hits were left out, count() counts them all', () => {
  const a = doc('a.txt', 'a'.repeat(100_001)); // 'aa' occurs 100,000 times
  assert.deepEqual([a.search('aa').count, a.search('aa').truncated], [100, true]);
  assert.deepEqual([a.search('a', { maxHits: 100_001 }).count, a.search('a', { maxHits: 100_001 }).truncated], [100_000, true]);
  assert.deepEqual([a.search('aa', { maxHits: 100_000 }).count, a.search('aa', { maxHits: 100_000 }).truncated], [100_000, false]);
  assert.equal(a.count('a'), 100_001);
  assert.equal(a.count('aa'), 100_000);
  assert.equal(a.replacePreview('aa', 'b').count, 50_000); // left to right, no overlaps
  a.close();
  const b = doc('b.txt', 'xAa'.repeat(70_000));
  assert.equal(b.count('aA', { caseInsensitive: true }), 70_000);
  assert.equal(b.count('AX', { caseInsensitive: true }), 69_999);
  assert.equal(b.count('aA'), 0);
  const few = b.search('xa', { caseInsensitive: true, maxHits: 3 });
  assert.deepEqual([few.count, few.truncated, few.hits.map((h) => h.index)], [3, true, [0, 3, 6]]);
  b.close();
});

test('the limits throw errors with codes of their own', () => {
  const huge = path.join(dir, 'huge.txt');
  fs.writeFileSync(huge, '');
  fs.truncateSync(huge, 524_288_001); // sparse: the open refuses it by its size
  assert.throws(() => tf.open(huge), { code: 'ERR_FILE_TOO_LARGE' });
  fs.truncateSync(huge, 67_108_865);
  const big = tf.open(huge);
  assert.throws(() => big.full(), { code: 'ERR_TEXT_TOO_LARGE',
    message: 'text too large for full() (67108865 bytes; max 67108864): read it in pieces with pages()' });
  big.close();
  fs.rmSync(huge);
});
