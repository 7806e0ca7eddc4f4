'use strict';

// The library keeps one last-error message for the whole process, and calls
// run in parallel: synchronous ones on the main thread or the program's own
// workers, asynchronous ones on the pool's workers, in every copy of the
// package. A failed call reads that message at once, and the message itself
// tells whose it is (messages.js):
//   OWN      only a call of this export can leave it, or it names this call's
//            own arguments: it is this call's message;
//   FOREIGN  this call cannot have left it: another call wrote the buffer
//            between this call's failure and the read;
//   UNSURE   this call may have left it, and so may another ("out of memory",
//            "invalid handle" for a handle number in range).
// A call whose message is not surely its own is repeated, ATTEMPTS times in
// all: each repeat is a fresh chance to read its message before another call
// writes one, and the window between the library's write and the read is a
// few microseconds. After the last attempt the error says that the message
// was lost to another thread, with the last text read.
//
// Nothing is counted across threads and the package makes no call wait for
// another (only the library's own lock does, while a query runs), so a
// thread that dies in the middle of a call leaves nothing behind, a copy of
// the package loaded in any thread at any time needs nothing from the others,
// and a wrong guess costs at most that less specific message (or, for two
// failures of one kind at the same moment, each other's words).
//
// Repeating is safe because each call, run twice, leaves what running it once
// leaves: a query changes nothing; an open that failed holds no handle; a save
// writes the same bytes to the same target through the same "<path>.tmp" (the
// first attempt may have removed an old "<path>.tmp", or, when it failed with
// "directory sync failed", already renamed: the repeat writes and renames the
// same content again).

const { TextFileError } = require('./errors');

const OWN = 'own';
const FOREIGN = 'foreign';
const UNSURE = 'unsure';
// Tries of a failed call, the first included, before its message counts as lost.
const ATTEMPTS = 8;

/**
 * Runs attempt() (which returns {result, message}: message set when the call
 * failed) until it succeeds or fails with a message that whose(message) calls
 * OWN, at most ATTEMPTS times; returns that outcome, else throws the error
 * saying that the message of `name` was lost.
 */
function attributed(attempt, whose, name) {
  for (let tries = 1; ; tries += 1) {
    const outcome = attempt();
    if (outcome.message === undefined) return outcome;
    const kind = whose(outcome.message);
    if (kind === OWN) return outcome;
    if (tries >= ATTEMPTS) throw lost(name, outcome.message, kind);
  }
}

function lost(name, message, kind) {
  const last = kind === UNSURE
    ? `messages that another thread's call may have left as well (last: "${message}")`
    : `other calls' messages (last: "${message}")`;
  const error = new TextFileError(`${name} failed, and its message was lost to another thread: the ` +
    `library keeps one last-error message per process, and ${ATTEMPTS} tries read only ${last}`);
  error.code = 'ERR_MESSAGE_LOST';
  error.libraryMessage = message;
  return error;
}

module.exports = { ATTEMPTS, FOREIGN, OWN, UNSURE, attributed };
