'use strict';

// One gate state (gate.js) for every copy of the package in the process. A
// copy is loaded once per thread that requires it, so the first copy puts
// its state into the thread's environment data, which every worker started
// afterwards inherits (and hands on to its own workers); later copies find it
// there. A copy in a thread started before any copy was loaded cannot be
// reached that way: each copy announces its state's id on a broadcast channel,
// and a copy that hears another id marks its state, so that a call whose
// message may be another copy's fails loudly instead (gate.js).

const { BroadcastChannel, getEnvironmentData, receiveMessageOnPort, setEnvironmentData } =
  require('worker_threads');

const KEY = 'quobrix-textfile:gate-state';
const STATE_BYTES = 24;
const ID_OFFSET = 16;

let own;

function idOf(shared) {
  return Atomics.load(new BigInt64Array(shared, ID_OFFSET, 1), 0);
}

function create() {
  const shared = new SharedArrayBuffer(STATE_BYTES);
  const random = BigInt(Math.floor(Math.random() * 2 ** 52)) << 11n | BigInt(process.pid & 0x7ff);
  Atomics.store(new BigInt64Array(shared, ID_OFFSET, 1), 0, random | 1n);
  return shared;
}

/** The state every copy of the package in this process shares. */
function sharedState() {
  if (own !== undefined) return own.shared;
  const inherited = getEnvironmentData(KEY);
  const shared = inherited instanceof SharedArrayBuffer && inherited.byteLength === STATE_BYTES
    ? inherited : create();
  setEnvironmentData(KEY, shared);
  const id = idOf(shared);
  const channel = new BroadcastChannel(KEY);
  const foreign = new Int32Array(shared, 12, 1);
  const hear = (message) => {
    if (message.id === id) return;
    if (Atomics.exchange(foreign, 0, 1) === 0 && message.hello) channel.postMessage({ id });
  };
  channel.onmessage = ({ data }) => hear(data);
  channel.unref();
  channel.postMessage({ id, hello: true });
  own = { shared, channel, hear };
  return shared;
}

/** Takes in the announcements that arrived and not yet handled. */
function listen() {
  if (own === undefined) return;
  for (let got; (got = receiveMessageOnPort(own.channel)) !== undefined;) own.hear(got.message);
}

/** The id of the state every copy in this thread uses (the same for copies that share it). */
const stateId = () => idOf(sharedState());

module.exports = { STATE_BYTES, listen, sharedState, stateId };
