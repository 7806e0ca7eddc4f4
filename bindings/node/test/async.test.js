'use strict';
// The asynchronous functions run on a worker thread: timers keep firing.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const tf = require('..');

test('openAsync and the saves leave the event loop free', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  const big = path.join(dir, 'big.txt');
  const text = 'word é ünïcode\n'.repeat(2_500_000); // 45 MB of UTF-8, 80 MB as UTF-16LE
  fs.writeFileSync(big, Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from(text, 'utf16le')]));
  let ticks = 0;
  const timer = setInterval(() => { ticks += 1; }, 1);
  const doc = await tf.openAsync(big);
  clearInterval(timer);
  assert.ok(ticks >= 2, `${ticks} timer ticks while opening`);
  assert.equal(doc.info().bytes, Buffer.byteLength(text));

  const saving = doc.saveAsync(path.join(dir, 'copy.txt'), 'utf8');
  doc.close(); // the pending save keeps the handle until it ends
  await saving;
  assert.equal(fs.statSync(path.join(dir, 'copy.txt')).size, Buffer.byteLength(text));
  await tf.saveTextAsync('abc', path.join(dir, 'small.txt'), 'utf8-bom');
  assert.deepEqual(fs.readFileSync(path.join(dir, 'small.txt')), Buffer.from('\ufeffabc'));
  await assert.rejects(tf.saveTextAsync('abc', path.join(dir, 'no', 'x.txt'), 'utf8'),
    { name: 'TextFileError', code: 'ENOENT' });
  await assert.rejects(tf.openAsync(path.join(dir, 'none.txt')), { name: 'TextFileError', code: 'ENOENT' });
  fs.rmSync(dir, { recursive: true, force: true });
});
