'use strict';
// Every failure carries its own message while other calls, sync and async,
// succeed and fail around it (the library keeps one message per process).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const tf = require('..');

test('each failed call reports its own message', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  const good = path.join(dir, 'good.txt');
  fs.writeFileSync(good, 'x'.repeat(4_000_000));
  const doc = tf.open(good);
  const missing = (i) => path.join(dir, `missing-${i}.txt`);
  const openMessage = (i) => `cannot open '${missing(i)}': No such file or directory`;
  const jobs = [];
  for (let i = 0; i < 2000; i += 1) {
    jobs.push(tf.openAsync(missing(i)).then(() => assert.fail('opened'),
      (error) => assert.equal(error.message, openMessage(i))));
    jobs.push(tf.openAsync(good).then((d) => {
      d.close();
      // Synchronous failures while the workers go on with the other calls.
      assert.throws(() => tf.open(missing(-i)), { message: openMessage(-i) });
      assert.throws(() => doc.save(good, `sync-${i}`), {
        message: `unsupported encoding 'sync-${i}' (use utf8|utf8-bom|utf16le)` });
    }));
    jobs.push(doc.saveAsync(path.join(dir, `s${i}.txt`), `enc-${i}`).then(() => assert.fail('saved'),
      (error) => assert.equal(error.message, `unsupported encoding 'enc-${i}' (use utf8|utf8-bom|utf16le)`)));
  }
  await Promise.all(jobs);
  doc.close();
  fs.rmSync(dir, { recursive: true, force: true });
});
