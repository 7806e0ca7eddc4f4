// Where inside the library a code address lies, for a library that carries
// yyjson and the C++ runtime inside itself (the self-contained build). Its
// own symbol table is stripped and everything but the tf_* exports is local,
// so dladdr cannot tell; the symbol table of its separate debug file can.
#pragma once

#include <cstdint>
#include <string>

namespace tf_inject {

enum class Part { kUnknown, kOwn, kYyjson, kCxxRuntime };

struct Symbol {
  Part part = Part::kUnknown;
  std::string name;  // "" when no function symbol covers the address
};

// offset: the address minus the library's load base. Empty answers when the
// debug file was not given or cannot be read.
Symbol library_symbol(std::uintptr_t offset);

// True when the debug file's symbol table was read.
bool library_symbols_known();

}  // namespace tf_inject
