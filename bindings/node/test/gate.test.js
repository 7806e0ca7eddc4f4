'use strict';
// The gate's interleavings, made to happen: a call held in flight by another
// thread, a call going alone between another's look at "alone" and its count.
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('path');
const { Worker } = require('worker_threads');
const tf = require('..');
const { Gate, DRAINING, RUNNING } = require('../lib/gate');
const { sharedState, STATE_BYTES } = require('../lib/shared');

const GATE_JS = path.join(__dirname, '..', 'lib', 'gate.js');

/** Waits until condition() holds, set by another thread; only a hang takes 20 s. */
function until(condition, end = Date.now() + 20_000) {
  const nap = new Int32Array(new SharedArrayBuffer(4));
  while (!condition()) {
    if (Date.now() > end) throw new Error('the other thread never got there');
    Atomics.wait(nap, 0, 0, 1);
  }
}

/** A thread running `body` (a function's source) with its own gate on the shared state. */
function thread(shared, control, body) {
  const code = `const { workerData: { shared, control } } = require('worker_threads');
    const { Gate, DRAINING, RUNNING } = require(${JSON.stringify(GATE_JS)});
    const gate = new Gate(shared, true);
    const c = new Int32Array(control);
    const until = ${until};
    (${body})();`;
  const worker = new Worker(code, { eval: true, workerData: { shared, control } });
  return new Promise((resolve, reject) => worker.on('error', reject).on('exit', resolve));
}

test('a call that counts in as another goes alone steps back', async () => {
  const shared = new SharedArrayBuffer(STATE_BYTES);
  const control = new SharedArrayBuffer(32);
  const c = new Int32Array(control); // 0: go, 1: lone call running, 2: entered, 3: what the lone call saw
  const gate = new Gate(shared, true);
  // The lone call waits for the other to count in, then to step back (1) or to be in (2).
  const runner = thread(shared, control, () => {
    until(() => Atomics.load(c, 0) === 1);
    gate.runAlone(() => {
      Atomics.store(c, 1, 1);
      const entries = Atomics.load(gate.word, 0) >> 20n;
      until(() => Atomics.load(gate.word, 0) >> 20n > entries);
      until(() => (Atomics.load(gate.word, 0) & 0xfffffn) === 0n || Atomics.load(c, 2) === 1);
      Atomics.store(c, 3, Atomics.load(c, 2) === 1 ? 2 : 1);
    });
  });
  let first = true;
  gate.betweenCheckAndAdd = () => {
    if (!first) return;
    first = false; // "alone" looked free; now the other call goes alone before the count
    Atomics.store(c, 0, 1);
    until(() => Atomics.load(c, 1) === 1);
  };
  const ticket = gate.enter();
  Atomics.store(c, 2, 1);
  gate.leave(ticket);
  await runner;
  assert.equal(Atomics.load(c, 3), 1, 'the call went in while another ran alone');
});

test('a lone call waits for the calls in flight; other calls are tried again first', async () => {
  const shared = new SharedArrayBuffer(STATE_BYTES);
  const control = new SharedArrayBuffer(32);
  const c = new Int32Array(control); // 0: held, 1: left
  const holder = thread(shared, control, () => {
    const ticket = gate.enter();
    Atomics.store(c, 0, 1);
    until(() => Atomics.load(gate.alone, 0) === DRAINING);
    Atomics.store(c, 1, 1);
    gate.leave(ticket);
  });
  const gate = new Gate(shared, false);
  until(() => Atomics.load(c, 0) === 1);
  const seen = [];
  const outcome = gate.call(() => {
    seen.push([Atomics.load(c, 1), Atomics.load(gate.alone, 0)]);
    return { result: -1, message: `message ${seen.length}` };
  }, () => false);
  // Four tries while the other call was in flight, the fifth alone once it left.
  assert.deepEqual(seen, [[0, 0], [0, 0], [0, 0], [0, 0], [1, RUNNING]]);
  assert.deepEqual(outcome, { result: -1, message: 'message 5', alone: true });
  await holder;
});

test('a failing call keeps a message naming its own arguments at once', async () => {
  // The package's own state, with a call held in flight for good and another
  // waiting to go alone (as a worker's would): waiting for either would never
  // end, but for the watchdog, which marks that it had to step in.
  const shared = sharedState();
  const gate = new Gate(shared, false);
  const ticket = gate.enter();
  Atomics.store(gate.alone, 0, DRAINING);
  const control = new SharedArrayBuffer(32);
  const c = new Int32Array(control); // 0: done, 1: the watchdog stepped in
  const watchdog = thread(shared, control, () => {
    if (Atomics.wait(c, 0, 0, 20_000) === 'timed-out') {
      Atomics.store(c, 1, 1);
      Atomics.store(gate.alone, 0, 0);
      Atomics.sub(gate.word, 0, 1n);
    }
  });
  const missing = path.join(__dirname, 'no-such-dir', 'missing.txt');
  try {
    assert.throws(() => tf.open(missing), { code: 'ENOENT',
      message: `cannot open '${missing}': No such file or directory` });
    assert.throws(() => tf.saveText('x', missing, 'utf-8'), {
      message: "unsupported encoding 'utf-8' (use utf8|utf8-bom|utf16le)" });
    assert.throws(() => tf.saveText('x', missing, 'utf8'), { code: 'ENOENT',
      message: `cannot create temp file '${missing}.tmp': No such file or directory` });
  } finally {
    Atomics.store(c, 0, 1);
    Atomics.notify(c, 0);
    await watchdog;
    if (Atomics.load(c, 1) === 0) {
      Atomics.store(gate.alone, 0, 0);
      gate.leave(ticket);
    }
  }
  assert.equal(Atomics.load(c, 1), 0, 'the event loop waited for other calls');
});
