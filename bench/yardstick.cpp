#include "yardstick.hpp"

#if defined(TF_BENCH_HAVE_SIMDUTF)
#include "simdutf.h"
#endif

namespace bench::yardstick {

#if defined(TF_BENCH_HAVE_SIMDUTF)

namespace {
const simdutf::implementation* impl_of(const void* p) {
  return static_cast<const simdutf::implementation*>(p);
}
}  // namespace

bool built_in() { return true; }

const void* find(const std::string& name) {
  if (name.empty()) return simdutf::get_active_implementation();
  const simdutf::implementation* impl = simdutf::get_available_implementations()[name];
  if (impl == nullptr || !impl->supported_by_runtime_system()) return nullptr;
  return impl;
}

std::string name_of(const void* impl) { return std::string(impl_of(impl)->name()); }

std::uint64_t validate_utf8(const void* impl, const unsigned char* p, std::uint64_t n) {
  return impl_of(impl)->validate_utf8(reinterpret_cast<const char*>(p), n) ? n : 0;
}

std::uint64_t latin1_to_utf8(const void* impl, const unsigned char* in, std::uint64_t n,
                             unsigned char* out) {
  return impl_of(impl)->convert_latin1_to_utf8(reinterpret_cast<const char*>(in), n,
                                               reinterpret_cast<char*>(out));
}

std::uint64_t utf16le_to_utf8(const void* impl, const unsigned char* in, std::uint64_t n,
                              unsigned char* out) {
  return impl_of(impl)->convert_utf16le_to_utf8(reinterpret_cast<const char16_t*>(in), n / 2,
                                                reinterpret_cast<char*>(out));
}

std::uint64_t utf8_to_utf16le(const void* impl, const unsigned char* in, std::uint64_t n,
                              unsigned char* out) {
  return 2 * impl_of(impl)->convert_utf8_to_utf16le(reinterpret_cast<const char*>(in), n,
                                                    reinterpret_cast<char16_t*>(out));
}

#else

bool built_in() { return false; }
const void* find(const std::string&) { return nullptr; }
std::string name_of(const void*) { return ""; }
std::uint64_t validate_utf8(const void*, const unsigned char*, std::uint64_t) { return 0; }
std::uint64_t latin1_to_utf8(const void*, const unsigned char*, std::uint64_t, unsigned char*) {
  return 0;
}
std::uint64_t utf16le_to_utf8(const void*, const unsigned char*, std::uint64_t, unsigned char*) {
  return 0;
}
std::uint64_t utf8_to_utf16le(const void*, const unsigned char*, std::uint64_t, unsigned char*) {
  return 0;
}

#endif

}  // namespace bench::yardstick
