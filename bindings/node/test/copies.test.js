'use strict';
// Copies of the package in the program's own worker threads, one of them
// started before the main thread loads the package: each failed call still
// reports its own message, never another copy's.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { Worker } = require('worker_threads');

const PACKAGE = path.resolve(__dirname, '..');
const ROUNDS = 20_000;

/** Fails `rounds` opens of missing files; counts the messages that are not the call's own. */
function failOpens(tf, dir, tag, rounds) {
  const counts = { wrong: 0, lost: 0 };
  for (let i = 0; i < rounds; i += 1) {
    const missing = path.join(dir, `missing-${tag}-${i}.txt`);
    try {
      tf.open(missing);
    } catch (error) {
      if (error.code === 'ERR_MESSAGE_LOST') counts.lost += 1;
      else if (error.message !== `cannot open '${missing}': No such file or directory`) counts.wrong += 1;
    }
  }
  return counts;
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
const good = path.join(dir, 'good.txt');
fs.writeFileSync(good, 'abc');

/** A worker of the program's own; its copy of the package is loaded when it is told to start. */
function worker(body) {
  const code = `const { parentPort, workerData } = require('worker_threads');
    const path = require('path');
    parentPort.once('message', () => {
      const tf = require(${JSON.stringify(PACKAGE)});
      parentPort.postMessage((${body})(workerData));
    });`;
  const w = new Worker(code, { eval: true, workerData: { dir, good, rounds: ROUNDS } });
  const done = new Promise((resolve, reject) => { w.once('message', resolve); w.once('error', reject); });
  return { start: () => w.postMessage('go'), done };
}

// Started before this thread loads the package.
const early = worker(`(() => { ${failOpens}; return ({ dir, rounds }) => failOpens(tf, dir, 'early', rounds); })()`);

test('copies in early and late threads report only their own messages', async () => {
  const tf = require('..');
  const late = worker('({ good, rounds }) => { for (let i = 0; i < rounds; i += 1) tf.open(good).close(); }');
  early.start();
  late.start();
  const mine = failOpens(tf, dir, 'main', ROUNDS); // while both workers run
  const [theirs] = await Promise.all([early.done, late.done]);
  console.log('lost messages: early worker', theirs.lost, 'main thread', mine.lost);
  for (const counts of [theirs, mine]) {
    assert.equal(counts.wrong, 0, 'a call reported another copy\'s message');
    assert.ok(counts.lost < ROUNDS / 100, `${counts.lost} messages lost`);
  }
  fs.rmSync(dir, { recursive: true, force: true });
});
