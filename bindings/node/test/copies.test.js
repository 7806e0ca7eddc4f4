'use strict';
// Copies of the package in the program's own worker threads share one gate
// state, so that each failed call still reports its own message.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { Worker } = require('worker_threads');
const { stateId } = require('../lib/shared');
require('..'); // as a program does before it starts its workers

const PACKAGE = path.resolve(__dirname, '..');

/** A worker of the program's own: requires the package, runs body, posts its result. */
function run(body, data) {
  const code = `const { parentPort, workerData } = require('worker_threads');
    const tf = require(${JSON.stringify(PACKAGE)});
    const { stateId } = require(${JSON.stringify(path.join(PACKAGE, 'lib', 'shared.js'))});
    parentPort.postMessage((${body})(workerData));`;
  const worker = new Worker(code, { eval: true, workerData: data });
  return new Promise((resolve, reject) => {
    worker.once('message', resolve);
    worker.once('error', reject);
  });
}

test('copies in workers report only their own messages', async () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  const good = path.join(dir, 'good.txt');
  fs.writeFileSync(good, 'abc');
  const rounds = 20_000;
  // Every successful open empties the message: the failing worker meets foreign
  // (empty) messages and must repeat alone across the copies.
  const [failing, opening] = await Promise.all([
    run(({ dir: d, rounds: n }) => {
      const path = require('path');
      let foreign = 0;
      for (let i = 0; i < n; i += 1) {
        const missing = path.join(d, `missing-${i}.txt`);
        try {
          tf.open(missing);
        } catch (error) {
          if (error.message !== `cannot open '${missing}': No such file or directory`) foreign += 1;
        }
      }
      return { foreign, id: stateId() };
    }, { dir, rounds }),
    run(({ good: g, rounds: n }) => {
      for (let i = 0; i < n; i += 1) tf.open(g).close();
      return { id: stateId() };
    }, { good, rounds }),
  ]);
  assert.deepEqual([failing.id, opening.id], [stateId(), stateId()]);
  assert.equal(failing.foreign, 0);
  fs.rmSync(dir, { recursive: true, force: true });
});
