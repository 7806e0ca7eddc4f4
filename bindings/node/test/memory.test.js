'use strict';
// Every string the library returns is released: thousands of calls, RSS flat.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const tf = require('..');

test('results are released on every path', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  const p = path.join(dir, 'a.txt');
  fs.writeFileSync(p, 'abc é '.repeat(20_000)); // 140 KB
  const doc = tf.open(p);
  const round = () => {
    doc.full();
    doc.fullBuffer();
    doc.replacePreview('a', 'xy');
    doc.search('c', { maxHits: 1000 });
    doc.text(0, 99_995);
    assert.throws(() => doc.text(4, 1)); // cut inside a character: NULL
    assert.throws(() => tf.open(path.join(dir, 'missing')));
  };
  for (let i = 0; i < 100; i += 1) round();
  const before = process.memoryUsage().rss;
  for (let i = 0; i < 1000; i += 1) round(); // a leak would keep 1000 x 0.5 MB
  const grown = (process.memoryUsage().rss - before) / 1e6;
  assert.ok(grown < 150, `RSS grew by ${grown.toFixed(0)} MB`);
  doc.close();
  fs.rmSync(dir, { recursive: true, force: true });
});
