#include "faults/library_symbols.hpp"

#include <elf.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

// The build names the debug file of a self-contained library; without one
// (a library linked to the shared yyjson and C++ runtime) nothing is read.
#ifndef TF_LIBRARY_DEBUG_FILE
#define TF_LIBRARY_DEBUG_FILE ""
#endif

namespace tf_inject {
namespace {

struct Range {
  std::uintptr_t start;
  std::uintptr_t end;
  Part part;
  std::string name;
};

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// Local symbols come in groups after a FILE symbol naming their source; the
// linker puts the symbols the version script made local after an unnamed
// FILE symbol, so only their names tell. Our own sources are .cpp files,
// yyjson is yyjson.c, and the static C++ runtime and libgcc are .o members of
// their archives.
Part part_of(const std::string& file, const std::string& name) {
  if (file == "yyjson.c" || starts_with(name, "yyjson_") || starts_with(name, "unsafe_yyjson_")) {
    return Part::kYyjson;
  }
  if ((file.size() > 2 && file.compare(file.size() - 2, 2, ".o") == 0) ||
      starts_with(name, "__cxa_") || starts_with(name, "__gxx_")) {
    return Part::kCxxRuntime;
  }
  return Part::kOwn;
}

std::vector<Range> read_ranges(const char* path) {
  std::vector<Range> out;
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  if (bytes.size() < sizeof(ElfW(Ehdr))) return out;
  ElfW(Ehdr) eh;
  std::memcpy(&eh, bytes.data(), sizeof eh);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_shentsize != sizeof(ElfW(Shdr)) ||
      eh.e_shoff + std::size_t{eh.e_shnum} * sizeof(ElfW(Shdr)) > bytes.size()) {
    return out;
  }
  std::vector<ElfW(Shdr)> sections(eh.e_shnum);
  std::memcpy(sections.data(), bytes.data() + eh.e_shoff, sections.size() * sizeof(ElfW(Shdr)));
  for (const ElfW(Shdr) & s : sections) {
    if (s.sh_type != SHT_SYMTAB || s.sh_link >= sections.size()) continue;
    const ElfW(Shdr)& strings = sections[s.sh_link];
    if (s.sh_offset + s.sh_size > bytes.size() ||
        strings.sh_offset + strings.sh_size > bytes.size()) {
      continue;
    }
    auto name_at = [&](std::size_t index) {
      if (index >= strings.sh_size) return std::string();
      const char* p = bytes.data() + strings.sh_offset + index;
      return std::string(p, strnlen(p, strings.sh_size - index));
    };
    std::string file;
    for (std::size_t at = 0; at + sizeof(ElfW(Sym)) <= s.sh_size; at += sizeof(ElfW(Sym))) {
      ElfW(Sym) sym;
      std::memcpy(&sym, bytes.data() + s.sh_offset + at, sizeof sym);
      const unsigned type = ELF64_ST_TYPE(sym.st_info);
      if (type == STT_FILE) {
        file = name_at(sym.st_name);
      } else if (type == STT_FUNC && sym.st_size != 0) {
        const std::string name = name_at(sym.st_name);
        out.push_back({sym.st_value, sym.st_value + sym.st_size, part_of(file, name), name});
      }
    }
  }
  std::sort(out.begin(), out.end(),
            [](const Range& a, const Range& b) { return a.start < b.start; });
  return out;
}

const std::vector<Range>& ranges() {
  static const std::vector<Range> table = read_ranges(TF_LIBRARY_DEBUG_FILE);
  return table;
}

}  // namespace

bool library_symbols_known() { return !ranges().empty(); }

Symbol library_symbol(std::uintptr_t offset) {
  const std::vector<Range>& table = ranges();
  auto it = std::upper_bound(table.begin(), table.end(), offset,
                             [](std::uintptr_t v, const Range& r) { return v < r.start; });
  if (it == table.begin()) return {};
  --it;
  if (offset >= it->end) return {};
  return {it->part, it->name};
}

}  // namespace tf_inject
