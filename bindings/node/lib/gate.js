'use strict';

// The library keeps one last-error message for the whole process. Calls run
// in parallel (the main thread's synchronous calls and the worker threads'
// asynchronous ones); a failed call's message is its own when no other call
// was in flight at any moment between its start and the reading of the
// message. Otherwise the call is repeated alone: new calls wait, the ones in
// flight finish, the call runs again and its message is read. A failed open or
// save changed nothing and a query changes nothing, so repeating is safe.
//
// The state lives in a SharedArrayBuffer seen by every thread of the package:
//   word 0 (BigInt64): entries << 20 | calls in flight, moved by one atomic
//          add per entry, so a call learns both at once;
//   word 2 (Int32):    1 while one call runs alone.

const IN_FLIGHT = (1n << 20n) - 1n;
const ONE_ENTRY = (1n << 20n) + 1n;
const STATE_BYTES = 16;
// Waits are bounded so that a missed wake-up costs a moment, not a hang.
const WAIT_MS = 50;

class Gate {
  constructor(shared) {
    this.word = new BigInt64Array(shared, 0, 1);
    this.alone = new Int32Array(shared, 8, 1);
  }

  /** Counts a call in; returns the ticket to give to leave(). */
  enter() {
    for (;;) {
      while (Atomics.load(this.alone, 0) !== 0) Atomics.wait(this.alone, 0, 1, WAIT_MS);
      const before = Atomics.add(this.word, 0, ONE_ENTRY);
      if (Atomics.load(this.alone, 0) === 0) return before;
      this.leave(before); // a call went alone meanwhile: step back and wait
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
    while (Atomics.compareExchange(this.alone, 0, 0, 1) !== 0) {
      Atomics.wait(this.alone, 0, 1, WAIT_MS);
    }
    try {
      let value;
      while (((value = Atomics.load(this.word, 0)) & IN_FLIGHT) !== 0n) {
        Atomics.wait(this.word, 0, value, WAIT_MS);
      }
      return fn();
    } finally {
      Atomics.store(this.alone, 0, 0);
      Atomics.notify(this.alone, 0);
    }
  }
}

module.exports = { Gate, STATE_BYTES };
