#include "frame/text_lease.hpp"

#include <cstdlib>
#include <new>

namespace tf {

TextLease* TextLease::create(const unsigned char* text) noexcept {
  void* block = std::malloc(sizeof(TextLease));
  if (block == nullptr) return nullptr;
  return new (block) TextLease(text);
}

void TextLease::release() noexcept {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  this->~TextLease();
  std::free(this);
}

}  // namespace tf
