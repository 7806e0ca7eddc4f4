#!/usr/bin/env node
'use strict';
// The Node package against what a Node program would write without it, in one
// run on the same files, and parallel against sequential openAsync.
//
//   node bench/bench_node.js [--size MB] [--reps N] [--dir DIR]
//                            [--parallel-size MB] [--no-parallel]
//
// Needs the library (QUOBRIX_TEXTFILE_LIBRARY) and `npm ci` in bindings/node.
// Prints Markdown tables of medians of --reps rounds, ours and the peer
// interleaved. The first table times the process's CPU time (user + kernel,
// every thread: a shared machine disturbs it far less than the wall clock;
// --clock wall changes that); the calls at once are timed by the wall clock,
// which is what they change.

const fs = require('fs');
const os = require('os');
const path = require('path');
const tf = require('../bindings/node');

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? args[i + 1] : fallback;
};
const MB = 1e6;
const size = Number(option('--size', 48)) * MB; // tf_full returns at most 64 MiB
const reps = Number(option('--reps', 5));
const dir = option('--dir', path.join(os.tmpdir(), 'tf-bench-node'));
const parallelSize = Number(option('--parallel-size', 100)) * MB;

// ---- corpora: the kinds of bench/corpus.cpp, from a fixed seed ------------------

function rng(seed) {
  let s = seed >>> 0;
  return () => {
    s = (s + 0x6d2b79f5) >>> 0;
    let t = s;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}
const ENGLISH = ('the of and to a in is that for it as was with be by on not he this are or his from at ' +
  'which but have an had they you were their one all we can her has there been if more when will would ' +
  'who so no time people year way day man thing woman life child world school state family student group ' +
  'country problem hand part place case week company system program question work government number night ' +
  'point home water room mother area money story fact month lot right study book eye job word business ' +
  'library journey weather village answer market silence distance river mountain garden letter window').split(' ');
const LATIN = ('été déjà où français garçon château élève forêt très après Müller über schön Straße Mädchen ' +
  'größer fünf Grüße niño año señor mañana corazón canción información ¿qué ¡hola coração não ação São ' +
  'Ærø øl søster pâté crème naïve Noël maïs').split(' ');
const OTHER = ('мир человек время работа жизнь город вопрос страна история ребёнок λόγος άνθρωπος χρόνος ' +
  'θάλασσα ελευθερία πόλη ημέρα שלום ספר مرحبا كتاب مدينة 世界 時間 人間 東京 中文 漢字 学校 電車 日本語 経済 ' +
  'ひらがな カタカナ こんにちは 한국어 서울 사람 😀 🚀 𝄞 🙂').split(' ');

/** Prose of about `bytes` UTF-8 bytes: words from `pick`, sentences, LF lines. */
function prose(bytes, seed, pick) {
  const random = rng(seed);
  const parts = [];
  let length = 0;
  let line = 0;
  while (length < bytes) {
    let word = pick(random);
    if (line === 0) word = word[0].toUpperCase() + word.slice(1);
    const piece = line > 70 ? `${word}.\n` : `${word} `;
    line = line > 70 ? 0 : line + piece.length;
    parts.push(piece);
    length += Buffer.byteLength(piece);
  }
  return Buffer.from(parts.join('')).subarray(0, bytes);
}
const cutUtf8 = (b) => { // drop a character cut at the end
  let end = b.length;
  while (end > 0 && (b[end - 1] & 0xc0) === 0x80) end -= 1;
  return end > 0 && b[end - 1] >= 0xc0 ? b.subarray(0, end - 1) : b;
};
const english = (n) => prose(n, 1, (r) => ENGLISH[Math.floor(r() * ENGLISH.length)]);
const mixed = (n) => cutUtf8(prose(n, 2, (r) => {
  const x = r();
  const list = x < 0.55 ? ENGLISH : x < 0.75 ? LATIN : OTHER;
  return list[Math.floor(r() * list.length)];
}));
const latin1 = (n) => Buffer.from(prose(n * 1.1, 3, (r) => {
  const list = r() < 0.7 ? ENGLISH : LATIN;
  return list[Math.floor(r() * list.length)];
}).toString('utf8').replace(/[^\u0000-\u00ff]/g, 'oe').replace(/\uFFFD/g, ''), 'latin1').subarray(0, n);
const utf16 = (utf8, n) => {
  const text = cutUtf8(utf8.subarray(0, Math.floor((n - 2) / 2))).toString('utf8');
  return Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from(text, 'utf16le')]);
};
const crlf = (lf, n) => Buffer.from(lf.toString('latin1').replace(/\n/g, '\r\n'), 'latin1').subarray(0, n);

function corpora(bytes) {
  fs.mkdirSync(dir, { recursive: true });
  const kinds = [
    ['english', 'utf-8', () => english(bytes)],
    ['mixed', 'utf-8', () => mixed(bytes)],
    ['english-crlf', 'utf-8', () => crlf(english(bytes), bytes)],
    ['english-utf16', 'utf-16le', () => utf16(english(bytes), bytes)],
    ['mixed-utf16', 'utf-16le', () => utf16(mixed(bytes), bytes)],
    ['latin1', 'latin1', () => latin1(bytes)],
  ];
  return kinds.map(([name, label, make]) => {
    const file = path.join(dir, `${name}-${bytes}.txt`);
    if (!fs.existsSync(file)) fs.writeFileSync(file, make());
    return { name, label, file };
  });
}

// ---- timing ------------------------------------------------------------------------

const now = () => Number(process.hrtime.bigint()) / 1e6; // ms
const cpu = () => { const u = process.cpuUsage(); return (u.user + u.system) / 1e3; };
const clock = option('--clock', 'cpu') === 'wall' ? now : cpu;
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const f = (x, d = 1) => x.toFixed(d);

function ours(file) {
  const t0 = clock();
  const doc = tf.open(file);
  const t1 = clock();
  const text = doc.full();
  const t2 = clock();
  doc.fullBuffer();
  const t3 = clock();
  doc.close();
  return { text, open: t1 - t0, full: t2 - t1, total: t2 - t0, buffer: t3 - t2 };
}

function theirs(file, label) {
  const t0 = clock();
  const bytes = fs.readFileSync(file);
  const t1 = clock();
  const text = new TextDecoder(label).decode(bytes);
  const t2 = clock();
  return { text, read: t1 - t0, decode: t2 - t1, total: t2 - t0 };
}

function decodeTable() {
  console.log(`## open + full() against readFileSync + TextDecoder, ${size / MB} MB files, ` +
    `${clock === cpu ? 'CPU' : 'wall'} time, median of ${reps}\n`);
  console.log('| Corpus | TextDecoder | ours ms (open + full) | readFileSync + decode ms | ours / theirs time | fullBuffer() ms | same text |');
  console.log('|---|---|---|---|---|---|---|');
  for (const { name, label, file } of corpora(size)) {
    const a = [];
    const b = [];
    let same;
    for (let i = 0; i <= reps; i += 1) {
      const x = ours(file);
      const y = theirs(file, label);
      if (i === 0) same = x.text === y.text; // the first round is not recorded
      else { a.push(x); b.push(y); }
    }
    const m = (xs, k) => median(xs.map((x) => x[k]));
    console.log(`| ${name} | ${label} | ${f(m(a, 'total'))} (${f(m(a, 'open'))} + ${f(m(a, 'full'))}) | ` +
      `${f(m(b, 'total'))} (${f(m(b, 'read'))} + ${f(m(b, 'decode'))}) | ${f(m(a, 'total') / m(b, 'total'), 2)} | ${f(m(a, 'buffer'))} | ${same ? 'yes' : 'no'} |`);
  }
  console.log();
}

async function parallelTable() {
  const base = english(parallelSize);
  const sets = [
    ['utf8', (i) => { const c = Buffer.from(base); c[0] = 0x41 + i; return c; }],
    ['utf16le', (i) => { const c = utf16(base, parallelSize); c[2] = 0x41 + i; return c; }],
  ];
  console.log(`## Four calls at once on four ${parallelSize / MB} MB files: Promise.all against one after another\n`);
  console.log('| Calls | one after another ms | Promise.all ms | speed-up | longest event-loop stall during Promise.all ms |');
  console.log('|---|---|---|---|---|');
  for (const [name, make] of sets) {
    const files = [0, 1, 2, 3].map((i) => {
      const file = path.join(dir, `parallel-${name}-${i}-${parallelSize}.txt`);
      if (!fs.existsSync(file)) fs.writeFileSync(file, make(i));
      return file;
    });
    const seq = [];
    const par = [];
    const stalls = [];
    for (let i = 0; i <= reps; i += 1) {
      let t0 = now();
      for (const file of files) (await tf.openAsync(file)).close();
      const s = now() - t0;
      let last = now();
      let stall = 0;
      const timer = setInterval(() => { const t = now(); stall = Math.max(stall, t - last); last = t; }, 1);
      t0 = now();
      const docs = await Promise.all(files.map((file) => tf.openAsync(file)));
      const p = now() - t0;
      clearInterval(timer);
      docs.forEach((d) => d.close());
      if (i > 0) { seq.push(s); par.push(p); stalls.push(stall); }
    }
    console.log(`| 4 openAsync of ${parallelSize / MB} MB ${name} | ${f(median(seq))} | ${f(median(par))} | ` +
      `${f(median(seq) / median(par), 2)}x | ${f(Math.max(...stalls))} |`);
  }
}

async function saveTable() {
  const files = [0, 1, 2, 3].map((i) => path.join(dir, `parallel-utf8-${i}-${parallelSize}.txt`));
  const docs = files.map((file) => tf.open(file));
  const targets = files.map((_, i) => path.join(dir, `saved-${i}.txt`));
  const seq = [];
  const par = [];
  for (let i = 0; i <= reps; i += 1) {
    let t0 = now();
    for (let k = 0; k < 4; k += 1) await docs[k].saveAsync(targets[k], 'utf8');
    const s = now() - t0;
    t0 = now();
    await Promise.all(docs.map((doc, k) => doc.saveAsync(targets[k], 'utf8')));
    if (i > 0) { seq.push(s); par.push(now() - t0); }
  }
  docs.forEach((doc) => doc.close());
  console.log(`| 4 saveAsync of ${parallelSize / MB} MB utf8 | ${f(median(seq))} | ${f(median(par))} | ` +
    `${f(median(seq) / median(par), 2)}x | |`);
  console.log();
}

(async () => {
  console.log(`Node ${process.version}, library ${tf.version()}, ${os.cpus().length} CPUs, ${new Date().toISOString()}\n`);
  decodeTable();
  if (!args.includes('--no-parallel')) {
    await parallelTable();
    await saveTable();
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
