// The UTF-16LE save conversion against the plain reference: the bytes and
// the exactly sized block of the encoder itself, and the bytes that
// tf_save_text leaves in the file, whatever the input (ill-formed, cut
// sequences, 0x00 bytes, overlong forms and surrogates included).
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "quobrix_textfile.h"
#include "reference/utf16le_reference.hpp"
#include "save/encode_utf16le.hpp"

namespace {

using tf_fuzz::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  const tf_ref::Utf16leResult want = tf_ref::utf16le_encode(text);
  // Every kernel level this machine runs, in turn.
  tf_fuzz::for_each_level([&] {
    tf::save::Utf16Output out;
    check(tf::save::encode_utf16le(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                   out),
          "the conversion succeeds");
    check(out.size == want.bytes.size() &&
              std::memcmp(out.bytes.get(), want.bytes.data(), out.size) == 0,
          "the conversion equals the reference");
    check(out.capacity == want.bytes.size() + tf::save::kStoreSlack,
          "the block is sized exactly for the output");
    check(out.size <= 2 * text.size() + 2, "never more than 2 bytes per input byte plus the mark");
  });

  // Through the export, every so often (it writes and syncs a file).
  if ((mode & 0x03) == 0) {
    const std::string path = tf_fuzz::scratch_dir() + "/utf16.txt";
    // Negative lengths stop at the first 0x00 byte.
    const bool to_nul = (mode & 0x04) != 0;
    const int length = to_nul ? -1 : static_cast<int>(text.size());
    check(tf_save_text(text.c_str(), length, path.c_str(), "utf16le") == 1, "tf_save_text succeeds",
          tf_last_error());
    const std::string used = to_nul ? text.substr(0, text.find('\0')) : text;
    check(tf_fuzz::read_file(path) == tf_ref::utf16le_encode(used).bytes,
          "the file holds the converted text");
  }
  return 0;
}
