'use strict';
// A copy of the package that could not share the gate state (its thread was
// started before any copy was loaded) makes a call whose message may be
// another copy's fail loudly, in both copies.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { Worker } = require('worker_threads');

const LIB = path.resolve(__dirname, '..', 'lib');
// A failure whose message ("invalid handle") no call of the package's own can
// claim as surely its own.
const uncertain = `require(${JSON.stringify(path.join(LIB, 'library.js'))})
  .bind(undefined, require(${JSON.stringify(path.join(LIB, 'shared.js'))}).sharedState())
  .callString('tf_info', [99], JSON.parse)`;

test('copies that cannot share their state fail loudly', async () => {
  const code = `const { parentPort, setEnvironmentData } = require('worker_threads');
    setEnvironmentData('quobrix-textfile:gate-state', undefined); // as if started before any copy
    require(${JSON.stringify(path.resolve(LIB, '..'))});
    parentPort.postMessage('loaded');
    parentPort.once('message', () => {
      try { ${uncertain}; parentPort.postMessage('no error'); } catch (e) { parentPort.postMessage(e.code); }
    });`;
  const worker = new Worker(code, { eval: true });
  await new Promise((resolve) => worker.once('message', resolve));
  require('..');
  // The older copy answers this copy's announcement when its event loop next runs.
  const { listen, sharedState } = require('../lib/shared');
  const foreign = new Int32Array(sharedState(), 12, 1);
  for (const end = Date.now() + 20_000; Atomics.load(foreign, 0) === 0;) {
    assert.ok(Date.now() < end, 'no copy saw the other');
    await new Promise((resolve) => setTimeout(resolve, 1));
    listen();
  }
  assert.throws(() => eval(uncertain), { code: 'ERR_QUOBRIX_TEXTFILE_UNSHARED' }); // eslint-disable-line no-eval
  worker.postMessage('go');
  assert.equal(await new Promise((resolve) => worker.once('message', resolve)), 'ERR_QUOBRIX_TEXTFILE_UNSHARED');
  await worker.terminate();
});
