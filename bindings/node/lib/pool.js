'use strict';

// The worker threads behind the asynchronous functions: started on first use,
// at most POOL_SIZE, each running one call at a time. An idle worker does not
// keep the process alive.

const path = require('path');
const { Worker } = require('worker_threads');
const { TextFileError } = require('./errors');
const { isModulePath } = require('./wasm/module');

const POOL_SIZE = 4;

/** The WebAssembly build keeps its documents in this thread's instance: its
 * calls run here, after the current task, one at a time. */
function inThread({ location }, name, args) {
  return new Promise((resolve, reject) => {
    setImmediate(() => {
      try {
        resolve(require('./library').bind(location).callInt(name, ...args));
      } catch (error) {
        reject(error);
      }
    });
  });
}

class Pool {
  constructor(workerData) {
    this.workerData = workerData;
    this.idle = [];
    this.count = 0;
    this.queue = [];
    this.nextId = 1;
  }

  /** Runs the int-returning export `name` on a worker; resolves to its result. */
  run(name, args, transfer = []) {
    if (isModulePath(this.workerData.location)) return inThread(this.workerData, name, args);
    return new Promise((resolve, reject) => {
      this.queue.push({ id: this.nextId++, name, args, transfer, resolve, reject });
      this.dispatch();
    });
  }

  dispatch() {
    while (this.queue.length > 0) {
      let worker = this.idle.pop();
      if (worker === undefined) {
        if (this.count >= POOL_SIZE) return;
        worker = this.spawn();
      }
      const job = this.queue.shift();
      worker.job = job;
      worker.ref();
      worker.postMessage({ id: job.id, name: job.name, args: job.args }, job.transfer);
    }
  }

  spawn() {
    const worker = new Worker(path.join(__dirname, 'worker.js'), { workerData: this.workerData });
    this.count += 1;
    worker.on('message', ({ result, error }) => {
      const job = worker.job;
      worker.job = undefined;
      worker.unref();
      this.idle.push(worker);
      if (error === undefined) job.resolve(result);
      else job.reject(toError(error));
      this.dispatch();
    });
    const lost = (error) => {
      if (worker.lost) return;
      worker.lost = true;
      this.count -= 1;
      this.idle = this.idle.filter((w) => w !== worker);
      if (worker.job) worker.job.reject(error);
      worker.job = undefined;
      this.dispatch();
    };
    worker.on('error', lost);
    worker.on('exit', (code) => {
      if (worker.job) lost(new Error(`worker thread exited with code ${code}`));
    });
    return worker;
  }
}

function toError({ message, library, name, code, libraryMessage }) {
  const Kind = library ? TextFileError : { TypeError, RangeError }[name] || Error;
  const error = new Kind(message);
  if (code !== undefined) error.code = code;
  if (libraryMessage !== undefined) error.libraryMessage = libraryMessage;
  return error;
}

module.exports = { Pool, POOL_SIZE };
