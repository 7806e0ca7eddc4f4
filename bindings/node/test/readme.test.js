'use strict';
// The Node examples of the repository's README and of the package's README run.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const os = require('os');
const path = require('path');

const README = path.resolve(__dirname, '..', '..', '..', 'README.md');

test('the README example runs', { skip: !fs.existsSync(README) }, async () => {
  const example = fs.readFileSync(README, 'utf8').split('## Node.js')[1].split('```js\n')[1].split('```')[0];
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  const file = path.join(dir, 'notes.txt');
  fs.writeFileSync(file, '\ufeffhello wörld\r\nsecond line\r\n');
  const run = new Function('require', 'path', 'offset', 'maxBytes', 'query', 'caseInsensitive', 'maxHits',
    'find', 'repl', 'textOrBuffer', 'encoding', 'enc', 'text', `return (async () => {\n${example}\n})();`);
  const load = (name) => (name === 'quobrix-textfile' ? require('..') : require(name));
  await run(load, file, 2, 4, 'L', true, 5, 'l', 'L', 'saved', 'utf16le', 'utf8-bom', 'text');
  fs.rmSync(dir, { recursive: true, force: true });
});

test('every example of the package\'s README runs as written', () => {
  const { execFileSync } = require('child_process');
  const pkg = path.resolve(__dirname, '..');
  const examples = [...fs.readFileSync(path.join(pkg, 'README.md'), 'utf8')
    .matchAll(/```(js|mjs)\n(.*?)```/gs)];
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tf-node-'));
  fs.mkdirSync(path.join(dir, 'node_modules'));
  fs.symlinkSync(pkg, path.join(dir, 'node_modules', 'quobrix-textfile'));
  fs.writeFileSync(path.join(dir, 'notes.txt'), Buffer.concat([Buffer.from([0xff, 0xfe]),
    Buffer.from('TODO: one\r\nsecond line, todo two\r\n', 'utf16le')]));
  examples.forEach(([, kind, code], i) => {
    const file = path.join(dir, `example-${i}.${kind === 'mjs' ? 'mjs' : 'cjs'}`);
    fs.writeFileSync(file, code);
    const out = execFileSync(process.execPath, [file], { cwd: dir, encoding: 'utf8' });
    assert.ok(out.length > 0, `example ${i} printed nothing`);
  });
  assert.ok(examples.length >= 3);
  fs.rmSync(dir, { recursive: true, force: true });
});
