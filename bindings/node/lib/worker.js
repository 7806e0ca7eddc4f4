'use strict';

// A worker thread of the pool: runs opens and saves so that the event loop
// never waits for the disk or the decoding. Its failures get their own
// message as the main thread's do (gate.js).

const { parentPort, workerData } = require('worker_threads');
const { bind } = require('./library');
const { TextFileError } = require('./errors');

const library = bind(workerData.location);

parentPort.on('message', ({ id, name, args }) => {
  try {
    parentPort.postMessage({ id, result: library.callInt(name, ...args) });
  } catch (error) {
    const fromLibrary = error instanceof TextFileError;
    parentPort.postMessage({ id, error: { message: error.message, library: fromLibrary, name: error.name,
      code: error.code, libraryMessage: error.libraryMessage } });
  }
});
