'use strict';

// A worker thread of the pool: runs opens and saves so that the event loop
// never waits for the disk or the decoding. Its calls go through the same
// gate as the main thread's.

const { parentPort, workerData } = require('worker_threads');
const { bind } = require('./library');
const { TextFileError } = require('./errors');

const library = bind(workerData.location, workerData.shared, true); // may wait: no event loop of the user's

parentPort.on('message', ({ id, name, args }) => {
  try {
    parentPort.postMessage({ id, result: library.callInt(name, ...args) });
  } catch (error) {
    const fromLibrary = error instanceof TextFileError;
    parentPort.postMessage({ id, error: { message: error.message, library: fromLibrary, name: error.name, code: error.code } });
  }
});
