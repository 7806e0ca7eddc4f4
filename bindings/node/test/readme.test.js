'use strict';
// The Node example of the repository's README runs as written.
const test = require('node:test');
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
