#include "peers.hpp"

#include <fcntl.h>
#include <iconv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(TF_BENCH_HAVE_ICU)
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/uversion.h>
#endif

namespace bench {

unsigned char* huge_block(std::uint64_t n) {
  constexpr std::uint64_t kHuge = std::uint64_t{2} << 20;
  void* p = nullptr;
  if (posix_memalign(&p, kHuge, n == 0 ? 1 : n) != 0) return nullptr;
  madvise(p, n & ~(kHuge - 1), MADV_HUGEPAGE);
  return static_cast<unsigned char*>(p);
}

namespace {

unsigned char* fread_into(const std::string& path, std::uint64_t size, unsigned char* block) {
  if (block == nullptr) return nullptr;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    std::free(block);
    return nullptr;
  }
  const std::size_t got = std::fread(block, 1, size, f);
  std::fclose(f);
  if (got != size) {
    std::free(block);
    return nullptr;
  }
  block[size] = 0;
  return block;
}

}  // namespace

unsigned char* fread_plain(const std::string& path, std::uint64_t size) {
  return fread_into(path, size, static_cast<unsigned char*>(std::malloc(size + 1)));
}

unsigned char* fread_huge(const std::string& path, std::uint64_t size) {
  return fread_into(path, size, huge_block(size + 1));
}

std::uint64_t memchr_count_lf(const unsigned char* text, std::uint64_t n) {
  std::uint64_t lines = 0;
  const unsigned char* p = text;
  const unsigned char* end = text + n;
  while (p < end) {
    const void* hit = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    if (hit == nullptr) break;
    ++lines;
    p = static_cast<const unsigned char*>(hit) + 1;
  }
  return lines;
}

std::uint64_t memmem_loop(const unsigned char* text, std::uint64_t n, const char* q,
                          std::uint64_t max_hits, std::uint64_t* scanned) {
  const std::size_t m = std::strlen(q);
  std::uint64_t hits = 0;
  const unsigned char* p = text;
  const unsigned char* end = text + n;
  *scanned = n;
  while (p < end) {
    const void* hit = memmem(p, static_cast<std::size_t>(end - p), q, m);
    if (hit == nullptr) break;
    p = static_cast<const unsigned char*>(hit);
    if (++hits == max_hits) {
      *scanned = static_cast<std::uint64_t>(p - text) + m;
      break;
    }
    ++p;
  }
  return hits;
}

std::uint64_t strcasestr_loop(const char* text, std::uint64_t n, const char* q,
                              std::uint64_t max_hits, std::uint64_t* scanned) {
  const std::size_t m = std::strlen(q);
  std::uint64_t hits = 0;
  const char* p = text;
  *scanned = n;
  while ((p = strcasestr(p, q)) != nullptr) {
    if (++hits == max_hits) {
      *scanned = static_cast<std::uint64_t>(p - text) + m;
      break;
    }
    ++p;
  }
  return hits;
}

std::uint64_t memmem_replace(const unsigned char* text, std::uint64_t n, const char* find,
                             const char* repl, unsigned char* out, std::uint64_t* count) {
  const std::size_t f = std::strlen(find);
  const std::size_t r = std::strlen(repl);
  const unsigned char* p = text;
  const unsigned char* end = text + n;
  unsigned char* o = out;
  *count = 0;
  while (p < end) {
    const void* hit = memmem(p, static_cast<std::size_t>(end - p), find, f);
    const unsigned char* stop = hit != nullptr ? static_cast<const unsigned char*>(hit) : end;
    std::memcpy(o, p, static_cast<std::size_t>(stop - p));
    o += stop - p;
    if (hit == nullptr) break;
    std::memcpy(o, repl, r);
    o += r;
    p = stop + f;
    ++*count;
  }
  *o = 0;
  return static_cast<std::uint64_t>(o - out);
}

std::uint64_t iconv_convert(const char* to, const char* from, const unsigned char* in,
                            std::uint64_t n, unsigned char* out, std::uint64_t cap) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return UINT64_MAX;
  char* src = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
  std::size_t src_left = n;
  char* dst = reinterpret_cast<char*>(out);
  std::size_t dst_left = cap;
  const std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return UINT64_MAX;
  return cap - dst_left;
}

bool write_fsync_rename(const std::string& path, const unsigned char* data, std::uint64_t n) {
  const std::string tmp = path + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::uint64_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, data + done, n - done);
    if (w <= 0) {
      ::close(fd);
      return false;
    }
    done += static_cast<std::uint64_t>(w);
  }
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}

#if defined(TF_BENCH_HAVE_ICU)

bool icu_available() { return true; }

std::string icu_version() { return U_ICU_VERSION; }

namespace {

std::uint64_t icu_convert(const char* to, const char* from, const unsigned char* in,
                          std::uint64_t n, unsigned char* out, std::uint64_t cap) {
  UErrorCode status = U_ZERO_ERROR;
  const int32_t len =
      ucnv_convert(to, from, reinterpret_cast<char*>(out), static_cast<int32_t>(cap),
                   reinterpret_cast<const char*>(in), static_cast<int32_t>(n), &status);
  return U_FAILURE(status) ? UINT64_MAX : static_cast<std::uint64_t>(len);
}

}  // namespace

std::uint64_t icu_utf8_to_utf8(const unsigned char* in, std::uint64_t n, unsigned char* out,
                               std::uint64_t cap) {
  return icu_convert("UTF-8", "UTF-8", in, n, out, cap);
}

std::uint64_t icu_latin1_to_utf8(const unsigned char* in, std::uint64_t n, unsigned char* out,
                                 std::uint64_t cap) {
  return icu_convert("UTF-8", "ISO-8859-1", in, n, out, cap);
}

std::uint64_t icu_utf16_to_utf8(const unsigned char* in, std::uint64_t n, unsigned char* out,
                                std::uint64_t cap) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t len = 0;
  u_strToUTF8WithSub(reinterpret_cast<char*>(out), static_cast<int32_t>(cap), &len,
                     reinterpret_cast<const UChar*>(in), static_cast<int32_t>(n / 2), 0xFFFD,
                     nullptr, &status);
  return U_FAILURE(status) ? UINT64_MAX : static_cast<std::uint64_t>(len);
}

std::uint64_t icu_utf8_to_utf16(const unsigned char* in, std::uint64_t n, unsigned char* out,
                                std::uint64_t cap) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t len = 0;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out), static_cast<int32_t>(cap / 2), &len,
                       reinterpret_cast<const char*>(in), static_cast<int32_t>(n), 0xFFFD, nullptr,
                       &status);
  return U_FAILURE(status) ? UINT64_MAX : 2 * static_cast<std::uint64_t>(len);
}

#else

bool icu_available() { return false; }
std::string icu_version() { return ""; }
std::uint64_t icu_utf8_to_utf8(const unsigned char*, std::uint64_t, unsigned char*, std::uint64_t) {
  return UINT64_MAX;
}
std::uint64_t icu_latin1_to_utf8(const unsigned char*, std::uint64_t, unsigned char*,
                                 std::uint64_t) {
  return UINT64_MAX;
}
std::uint64_t icu_utf16_to_utf8(const unsigned char*, std::uint64_t, unsigned char*,
                                std::uint64_t) {
  return UINT64_MAX;
}
std::uint64_t icu_utf8_to_utf16(const unsigned char*, std::uint64_t, unsigned char*,
                                std::uint64_t) {
  return UINT64_MAX;
}

#endif

}  // namespace bench
