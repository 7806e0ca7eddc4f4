'use strict';

// The library keeps one last-error message for the whole process. Calls run
// in parallel (synchronous ones on the main thread or the user's workers,
// asynchronous ones on the pool's workers). A failed call's message is its
// own when no other call was in flight at any moment between its start and
// the reading of the message, or when only this call could have produced it
// (messages.js: most messages name the call's own path or encoding). Any
// other message may be another call's: the call is tried again, and then
// repeated alone: new calls wait, the ones in flight finish, the call runs
// again and its message is read.
//
// Repeating is safe because each call, run twice, leaves what running it once
// leaves: a query changes nothing; an open that failed holds no handle; a save
// writes the same bytes to the same target through the same "<path>.tmp" (the
// first attempt may have removed an old "<path>.tmp", or, when it failed with
// "directory sync failed", already renamed: the repeat writes and renames the
// same content again).
//
// A thread whose event loop must not stall (any thread but the pool's
// workers) never waits for the calls in flight: it goes past a call that is
// still waiting to run alone (that call then waits for it too), and waits
// only while the lone call itself runs.
//
// The state lives in a SharedArrayBuffer seen by every thread and every copy
// of the package (shared.js):
//   word 0 (BigInt64): entries << 20 | calls in flight, moved by one atomic
//          add per entry, so a call learns both at once;
//   word 2 (Int32):    DRAINING while a call waits to run alone, RUNNING while
//          it runs;
//   word 3 (Int32):    1 once a copy of the package with a state of its own
//          was seen: then no call can know that it ran alone.

const { listen } = require('./shared');

const IN_FLIGHT = (1n << 20n) - 1n;
const ONE_ENTRY = (1n << 20n) + 1n;
const DRAINING = 1;
const RUNNING = 2;
// Waits are bounded so that a missed wake-up costs a moment, not a hang.
const WAIT_MS = 50;
// A failed call whose message may be another's is tried this often more
// before it is repeated alone.
const RETRIES = 3;

class Gate {
  /** @param {SharedArrayBuffer} shared  @param {boolean} patient  true where
   * the thread may wait for other calls to end (the pool's workers). */
  constructor(shared, patient = false) {
    this.word = new BigInt64Array(shared, 0, 1);
    this.alone = new Int32Array(shared, 8, 1);
    this.foreign = new Int32Array(shared, 12, 1);
    this.patient = patient;
    // Tests hold a call here, between the look at "alone" and the count.
    this.betweenCheckAndAdd = () => {};
  }

  #mayPass(state) {
    return state === 0 || (state === DRAINING && !this.patient);
  }

  /** Counts a call in; returns the ticket to give to leave(). */
  enter() {
    for (;;) {
      let state;
      while (!this.#mayPass((state = Atomics.load(this.alone, 0)))) {
        Atomics.wait(this.alone, 0, state, WAIT_MS);
      }
      this.betweenCheckAndAdd();
      const before = Atomics.add(this.word, 0, ONE_ENTRY);
      // A call went alone meanwhile: step back and wait.
      if (this.#mayPass(Atomics.load(this.alone, 0))) return before;
      this.leave(before);
    }
  }

  /** Counts a call out; true when it had the library to itself throughout. */
  leave(ticket) {
    const now = Atomics.sub(this.word, 0, 1n);
    if (Atomics.load(this.alone, 0) !== 0) Atomics.notify(this.word, 0);
    return (ticket & IN_FLIGHT) === 0n && now === ticket + ONE_ENTRY;
  }

  /** Runs fn() with no other call of the package in flight. */
  runAlone(fn) {
    while (Atomics.compareExchange(this.alone, 0, 0, DRAINING) !== 0) {
      Atomics.wait(this.alone, 0, Atomics.load(this.alone, 0), WAIT_MS);
    }
    try {
      for (;;) {
        let value;
        while (((value = Atomics.load(this.word, 0)) & IN_FLIGHT) !== 0n) {
          Atomics.wait(this.word, 0, value, WAIT_MS);
        }
        Atomics.store(this.alone, 0, RUNNING);
        // A call that went past DRAINING counted itself in after the look
        // above, or sees RUNNING and steps back: drain again.
        if ((Atomics.load(this.word, 0) & IN_FLIGHT) === 0n) break;
        Atomics.store(this.alone, 0, DRAINING);
        Atomics.notify(this.alone, 0);
      }
      return fn();
    } finally {
      Atomics.store(this.alone, 0, 0);
      Atomics.notify(this.alone, 0);
    }
  }

  /**
   * Runs attempt() (which returns {result, message}: message set when the
   * call failed) and returns its outcome with a message that is the call's
   * own: isOwn(message) tells a message that only this call could have left.
   */
  call(attempt, isOwn) {
    const once = () => {
      const ticket = this.enter();
      let outcome;
      try {
        outcome = attempt();
      } finally {
        outcome = { ...outcome, alone: this.leave(ticket) };
      }
      return outcome;
    };
    let outcome = once();
    for (let tries = 0; outcome.message !== undefined && !isOwn(outcome.message); tries += 1) {
      listen();
      if (Atomics.load(this.foreign, 0) !== 0) throw unshared(outcome.message);
      if (outcome.alone) break;
      outcome = tries < RETRIES ? once() : { ...this.runAlone(attempt), alone: true };
    }
    return outcome;
  }
}

function unshared(message) {
  const error = new Error('cannot tell whether the library\'s last message ("' + message + '") is ' +
    'this call\'s: quobrix-textfile is loaded in threads that do not share its state; load it in ' +
    'the main thread (or the thread that starts the workers) before starting worker threads');
  error.code = 'ERR_QUOBRIX_TEXTFILE_UNSHARED';
  return error;
}

module.exports = { Gate, DRAINING, RUNNING };
