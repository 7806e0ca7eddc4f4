'use strict';
// Paths for the library: converted to the ANSI code page on Windows (here
// through a stand-in for kernel32 that behaves like code page 1252 or 65001),
// unchanged elsewhere and for Buffers.
const test = require('node:test');
const assert = require('node:assert/strict');
const { pathToFileURL } = require('url');
const { nativePath } = require('../lib/paths');

// WideCharToMultiByte of a single-byte code page holding U+0000..U+00FF:
// each code unit outside it becomes the default character and sets the flag,
// as WC_NO_BEST_FIT_CHARS makes Windows do.
function fakeKernel32(codePage) {
  const calls = [];
  return {
    calls,
    GetACP: () => codePage,
    WideCharToMultiByte(cp, flags, wide, units, out, size, defaultChar, usedDefault) {
      calls.push({ cp, flags, units, size });
      const bytes = [];
      for (let i = 0; i < units; i += 1) {
        const unit = wide.readUInt16LE(2 * i);
        if (unit > 0xff && usedDefault) usedDefault[0] = 1;
        bytes.push(unit > 0xff ? 0x3f : unit);
      }
      if (size === 0) return bytes.length;
      Buffer.from(bytes).copy(out);
      return bytes.length;
    },
  };
}

test('on Windows a string path goes in the ANSI code page, without best fit', () => {
  const api = fakeKernel32(1252);
  assert.deepEqual(nativePath('C:\\Zoë\\café.txt', 'win32', api), Buffer.from('C:\\Zo\xeb\\caf\xe9.txt', 'latin1'));
  assert.ok(api.calls.every((c) => c.cp === 1252 && c.flags === 0x400));
  assert.deepEqual(nativePath('', 'win32', api), Buffer.alloc(0));
});

test('a name the code page cannot express is refused, naming the code page', () => {
  for (const name of ['C:\\日本.txt', 'C:\\a\ud800b.txt']) {
    assert.throws(() => nativePath(name, 'win32', fakeKernel32(1252)),
      { name: 'TextFileError', code: 'ERR_PATH_CODE_PAGE', message: /ANSI code page 1252/ });
  }
  assert.throws(() => nativePath('C:\\a\udc00.txt', 'win32', fakeKernel32(65001)), /ANSI code page 65001/);
  assert.deepEqual(nativePath('C:\\日本.txt', 'win32', fakeKernel32(65001)), Buffer.from('C:\\日本.txt'));
});

test('Buffers pass unchanged; other systems keep strings; URLs become paths', () => {
  const bytes = Buffer.from([0x63, 0xe9, 0xff]);
  assert.equal(nativePath(bytes, 'win32', fakeKernel32(1252)), bytes);
  assert.equal(nativePath('/tmp/日本.txt', 'linux'), '/tmp/日本.txt');
  assert.equal(nativePath(pathToFileURL('/tmp/café.txt'), 'linux'), '/tmp/café.txt');
  // U+0000 is left for the caller, which refuses it with its own TypeError.
  assert.equal(nativePath('a\0b', 'win32', fakeKernel32(1252)), 'a\0b');
});
