// Lists a WebAssembly module's exports and the modules it imports from, one
// a line ("export NAME", "import MODULE"), for check_exports.cmake.
const fs = require('fs');

const wasm = new WebAssembly.Module(fs.readFileSync(process.argv[2]));
for (const e of WebAssembly.Module.exports(wasm)) console.log(`export ${e.name}`);
for (const i of WebAssembly.Module.imports(wasm)) console.log(`import ${i.module}`);
