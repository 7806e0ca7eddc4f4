'use strict';
// The npm package on a 64 MB file, native library against the WebAssembly
// build, in one run: open, stats, search (exact and folded), replace
// preview, save as utf8 and utf16le; best of 5 wall-clock milliseconds each.
//   QUOBRIX_TEXTFILE_LIBRARY=... node bench/wasm_api.js DIR WASM_MODULE
// The package is loaded twice in child processes (one per backend), so the
// two never share a process.
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

if (process.argv[2] === '--child') {
  const tf = require(path.resolve(__dirname, '..', 'bindings', 'node'));
  const [, , , dir] = process.argv;
  const file = path.join(dir, 'bench-64mb.txt');
  const best = (f) => {
    let ms = Infinity;
    for (let k = 0; k < 5; k++) {
      const t0 = process.hrtime.bigint();
      f();
      ms = Math.min(ms, Number(process.hrtime.bigint() - t0) / 1e6);
    }
    return ms;
  };
  const rows = {};
  rows['open (utf8, 64 MB)'] = best(() => tf.open(file).close());
  const doc = tf.open(file);
  rows.stats = best(() => doc.stats());
  rows['search "lazy" (100,000 hits)'] = best(() => doc.search('lazy', { maxHits: 100000 }));
  rows['search absent word'] = best(() => doc.search('zebra'));
  rows['search folded absent word'] = best(() => doc.search('ZEBRA', { caseInsensitive: true }));
  rows['linecol at the end'] = best(() => doc.linecol(doc.info().bytes));
  rows['save utf8'] = best(() => doc.save(path.join(dir, 'out-utf8.txt'), 'utf8'));
  rows['save utf16le'] = best(() => doc.save(path.join(dir, 'out-utf16.txt'), 'utf16le'));
  doc.close();
  const latin = path.join(dir, 'bench-64mb-latin1.txt');
  rows['open (ansi, 64 MB)'] = best(() => tf.open(latin).close());
  const utf16 = path.join(dir, 'out-utf16.txt');
  rows['open (utf16le, 128 MB)'] = best(() => tf.open(utf16).close());
  process.stdout.write(JSON.stringify(rows));
  process.exit(0);
}

const [dir, wasm] = process.argv.slice(2);
fs.mkdirSync(dir, { recursive: true });
const line = 'The quick brown fox jumps over the lazy dog; Grüße aus Köln, naïve café 日本語.\n';
const text = line.repeat(Math.ceil((64 << 20) / Buffer.byteLength(line)));
fs.writeFileSync(path.join(dir, 'bench-64mb.txt'), text);
fs.writeFileSync(path.join(dir, 'bench-64mb-latin1.txt'),
  Buffer.from('caf\xe9 na\xefve, \xe0 la carte; plain words too.\n'.repeat(1 << 20), 'latin1'));
const run = (env) => JSON.parse(execFileSync(process.execPath, [__filename, '--child', dir],
  { env: { ...process.env, ...env }, maxBuffer: 1 << 20 }).toString());
const native = run({ QUOBRIX_TEXTFILE_WASM: '' });
const web = run({ QUOBRIX_TEXTFILE_WASM: wasm });
console.log('| Operation | native ms | WebAssembly ms | WebAssembly / native speed |');
console.log('|---|---:|---:|---:|');
for (const name of Object.keys(native)) {
  console.log(`| ${name} | ${native[name].toFixed(1)} | ${web[name].toFixed(1)} | ${(native[name] / web[name]).toFixed(2)}x |`);
}
