'use strict';
// A failed call never waits for another call: not for a worker terminated in
// the middle of one, not for an asynchronous save in flight.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { ATTEMPTS, FOREIGN, OWN, UNSURE, attributed } = require('../lib/gate');
const { whose } = require('../lib/messages');

const PACKAGE = path.resolve(__dirname, '..');
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
test.after(() => fs.rmSync(dir, { recursive: true, force: true }));
const cstr = (s) => Buffer.from(`${s}\0`);

test('each message is told own, unsure or foreign', () => {
  const cases = [
    ['tf_replace_preview', [3], 'replace preview failed', OWN],
    ['tf_stats', [3], 'replace preview failed', FOREIGN],
    ['tf_info', [99], 'invalid handle', OWN],
    ['tf_info', [3], 'invalid handle', UNSURE],
    ['tf_open', [cstr('/a')], 'invalid handle', FOREIGN],
    ['tf_open', [cstr('/a')], "cannot open '/a': No such file or directory", OWN],
    ['tf_open', [cstr('/a')], "cannot open '/b': No such file or directory", FOREIGN],
    ['tf_open', [cstr('/a')], '', FOREIGN],
    ['tf_full', [3], 'out of memory', UNSURE],
    ['tf_save', [3, cstr('/a'), cstr('x')], "unsupported encoding 'x' (use utf8|utf8-bom|utf16le)", OWN],
    ['tf_save', [3, cstr('/a'), cstr('y')], "unsupported encoding 'x' (use utf8|utf8-bom|utf16le)", FOREIGN],
    ['tf_save_text', [cstr('t'), 1, cstr('/a'), cstr('utf8')], 'path too long', FOREIGN],
  ];
  for (const [name, args, message, kind] of cases) assert.equal(whose(name, args, message), kind, `${name}: ${message}`);
});

test('a message not surely the call\'s own is read again, a bounded number of times', () => {
  let tries = 0;
  const failing = () => { tries += 1; return { result: -1, message: tries < 3 ? '' : 'mine' }; };
  assert.deepEqual(attributed(failing, (m) => (m === 'mine' ? OWN : FOREIGN), 'tf_x'), { result: -1, message: 'mine' });
  tries = 0;
  assert.throws(() => attributed(failing, () => UNSURE, 'tf_x'),
    { code: 'ERR_MESSAGE_LOST', libraryMessage: 'mine', message: /^tf_x failed, and its message was lost to another thread/ });
  assert.equal(tries, ATTEMPTS);
});

/** Runs script in a child Node, so that a hang is seen from outside its frozen event loop. */
function child(script) {
  const run = spawnSync(process.execPath, ['-e', script], { cwd: PACKAGE, encoding: 'utf8', timeout: 30_000 });
  assert.equal(run.signal, null, 'the child hung for 30 s');
  assert.equal(run.status, 0, run.stderr);
  return run.stdout;
}

test('workers terminated in the middle of calls leave nothing behind', () => {
  const file = path.join(dir, 'abc.txt');
  fs.writeFileSync(file, 'abc'.repeat(100_000));
  const out = child(`const { Worker } = require('worker_threads');
    const tf = require(${JSON.stringify(PACKAGE)});
    const code = \`const tf = require(${JSON.stringify(PACKAGE)});
      const doc = tf.open(require('worker_threads').workerData);
      require('worker_threads').parentPort.postMessage('ready');
      for (;;) { try { doc.replacePreview('a', Buffer.from([0xff])); } catch {} try { tf.open('/nonexistent/x'); } catch {} }\`;
    (async () => {
      for (let i = 0; i < 10; i += 1) {
        const worker = new Worker(code, { eval: true, workerData: ${JSON.stringify(file)} });
        await new Promise((resolve) => worker.once('message', resolve));
        await new Promise((resolve) => setTimeout(resolve, i % 5));
        await worker.terminate();
      }
      const doc = tf.open(${JSON.stringify(file)});
      try { doc.replacePreview('abc', Buffer.from([0xff])); } catch (e) { console.log(e.message); }
    })();`);
  assert.equal(out, 'replace preview failed\n');
});

test('a synchronous failure during an asynchronous save returns while the save runs', () => {
  const out = child(`const tf = require(${JSON.stringify(PACKAGE)});
    const fs = require('fs');
    const path = require('path');
    const dir = ${JSON.stringify(dir)};
    fs.writeFileSync(path.join(dir, 'zh.txt'), '中'.repeat(400_000)); // the 1 MiB cut falls inside a character
    const doc = tf.open(path.join(dir, 'zh.txt'));
    const big = path.join(dir, 'big.txt');
    const saving = tf.saveTextAsync('word é\\n'.repeat(10_000_000), big, 'utf16le');
    const poll = setInterval(() => {
      if (!fs.existsSync(big + '.tmp')) return; // the save is writing
      clearInterval(poll);
      const failed = [0, 1, 2].map(() => { try { doc.replacePreview('x', 'y'); } catch (e) { return e.message; } });
      console.log(JSON.stringify(failed), fs.existsSync(big + '.tmp'));
      saving.then(() => doc.close());
    }, 1);`);
  assert.equal(out, `${JSON.stringify(Array(3).fill('replace preview failed'))} true\n`,
    'the synchronous calls waited for the save to end');
});
