'use strict';
// The installed package's answers on a fixed set of files, one JSON line per
// question, written to the file named by its argument: scripts/test-packages.sh
// runs it with the native library and with the WebAssembly build and requires
// the two outputs to be identical. Saved files are given by their bytes (hex).
//   node node-answers.js OUTPUT_FILE
const fs = require('fs');
const path = require('path');
const tf = require('quobrix-textfile');

const output = path.resolve(process.argv[2]);
const work = path.join(__dirname, 'answer-files');
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work);
const out = [];
const answer = (what, f) => {
  let value;
  try {
    value = f();
  } catch (error) {
    value = { error: error.message, code: error.code };
  }
  out.push(JSON.stringify([what, value]));
};

const big = Array.from({ length: 5000 }, (_, k) => `line ${k}\tcafé ${'ab'.repeat(k % 40)}\r\n`).join('');
const files = {
  'plain.txt': Buffer.from('hello world\nsecond line\n'),
  'bom.txt': Buffer.from('\ufeffmit BOM\r\nzwei\r\n'),
  'utf16.txt': Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from('héllo\rwörld\n日本\r\n', 'utf16le')]),
  'ansi.txt': Buffer.from([0x63, 0x61, 0x66, 0xe9, 0x0a, 0xff, 0x80, 0x0d]),
  'broken.txt': Buffer.from([0x61, 0xc3, 0x28, 0xe2, 0x82, 0x0a, 0xf0, 0x9f, 0x98, 0x80, 0x62]),
  'odd16.txt': Buffer.from([0xff, 0xfe, 0x41, 0x00, 0x00, 0xd8, 0x42]),
  'big.txt': Buffer.from(big),
  'empty.txt': Buffer.alloc(0),
};
for (const [name, bytes] of Object.entries(files)) fs.writeFileSync(path.join(work, name), bytes);

for (const name of Object.keys(files)) {
  const file = path.join(work, name);
  answer(`${name} open`, () => {
    const doc = tf.open(file);
    try {
      answer(`${name} info`, () => doc.info());
      answer(`${name} stats`, () => doc.stats());
      for (const offset of [0, 5, 13, 1000, -1, 1e9]) answer(`${name} linecol ${offset}`, () => doc.linecol(offset));
      answer(`${name} text`, () => doc.text(3, 17));
      for (const [query, fold] of [['l', false], ['CAFÉ', true], ['ab', false], ['\r\n', false], ['', false]]) {
        answer(`${name} search ${JSON.stringify(query)} ${fold}`, () => doc.search(query, { caseInsensitive: fold, maxHits: 50 }));
      }
      answer(`${name} preview`, () => doc.replacePreview('l', 'LL', { caseInsensitive: true }));
      for (const encoding of ['utf8', 'utf8-bom', 'utf16le', 'latin1']) {
        const target = path.join(work, `${name}.${encoding}.out`);
        answer(`${name} save ${encoding}`, () => {
          doc.save(target, encoding);
          return fs.readFileSync(target).toString('hex');
        });
      }
    } finally {
      doc.close();
    }
    return 'opened';
  });
}
answer('missing', () => tf.open(path.join(work, 'missing.txt')));
answer('directory', () => tf.open(work));
answer('relative', () => {
  process.chdir(work);
  const doc = tf.open('plain.txt');
  doc.close();
  return tf.open('nope/../missing.txt');
});
answer('saveText', () => {
  tf.saveText('zoë\u0000x', path.join(work, 'saved.txt'), 'utf16le');
  return fs.readFileSync(path.join(work, 'saved.txt')).toString('hex');
});
answer('save onto a directory', () => tf.saveText('x', work, 'utf8'));
fs.writeFileSync(output, `${out.join('\n')}\n`);
process.chdir(__dirname);
fs.rmSync(work, { recursive: true, force: true });
