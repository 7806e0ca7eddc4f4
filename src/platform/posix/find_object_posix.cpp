// The unwinder of a statically linked libgcc finds a frame's unwind tables
// with _dl_find_object, which glibc has only since 2.35. This local copy,
// built on dl_iterate_phdr (glibc 2.2.5), answers the same question, so the
// self-contained library keeps its glibc floor (src/platform/glibc/glibc_floor.c).
// The version script keeps it local: other objects of the process still call
// glibc's own. It is only walked when an exception unwinds, which in this
// library means an allocation failed.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE 1
#endif
#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstring>

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 35))

namespace {

struct Search {
  std::uintptr_t pc;
  dl_find_object* out;
  bool found;
};

int visit(dl_phdr_info* info, std::size_t, void* arg) {
  auto* s = static_cast<Search*>(arg);
  std::uintptr_t low = UINTPTR_MAX;
  std::uintptr_t high = 0;
  bool inside = false;
  const ElfW(Phdr)* eh_frame = nullptr;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& p = info->dlpi_phdr[i];
    if (p.p_type == PT_GNU_EH_FRAME) eh_frame = &p;
    if (p.p_type != PT_LOAD) continue;
    const std::uintptr_t start = info->dlpi_addr + p.p_vaddr;
    const std::uintptr_t end = start + p.p_memsz;
    if (start < low) low = start;
    if (end > high) high = end;
    if (s->pc >= start && s->pc < end) inside = true;
  }
  if (!inside) return 0;
  std::memset(s->out, 0, sizeof *s->out);
  s->out->dlfo_map_start = reinterpret_cast<void*>(low);
  s->out->dlfo_map_end = reinterpret_cast<void*>(high);
  if (eh_frame != nullptr) {
    s->out->dlfo_eh_frame = reinterpret_cast<void*>(info->dlpi_addr + eh_frame->p_vaddr);
  }
  s->found = true;
  return 1;
}

}  // namespace

extern "C" int _dl_find_object(void* address, dl_find_object* result) noexcept {
  Search s{reinterpret_cast<std::uintptr_t>(address), result, false};
  dl_iterate_phdr(visit, &s);
  return s.found ? 0 : -1;
}

#endif
