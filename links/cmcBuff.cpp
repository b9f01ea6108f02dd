#include "links/cmcBuff.h"

#include <cstring>

cmcBuff::cmcBuff() { Wipe(); }

cmcBuff::~cmcBuff() { delete[] storage_; }

void cmcBuff::Wipe() {
  delete[] storage_;
  storage_ = new std::uint8_t[1];
  storage_[0] = 0;
  head_ = storage_;
  count_ = 0;
  capacity_ = 1;
  fill_ = 0;
}

std::int32_t cmcBuff::SetSize(std::int32_t n) {
  if (n < 0) n = 0;
  if (n > capacity_) {
    std::int32_t grown = n + count_ / 4;
    if (grown < 1) grown = 1;
    auto* block = new std::uint8_t[static_cast<std::size_t>(grown)];
    if (count_ > 0) std::memcpy(block, head_, static_cast<std::size_t>(count_));
    std::memset(block + count_, fill_, static_cast<std::size_t>(grown - count_));
    delete[] storage_;
    storage_ = block;
    head_ = block;
    capacity_ = grown;
  }
  count_ = n;
  return n;
}

void cmcBuff::Assign(const void* source, std::int32_t n) {
  SetSize(n);
  if (n > 0) std::memmove(head_, source, static_cast<std::size_t>(n));
}

void cmcBuff::Append(const void* source, std::int32_t n) {
  if (n <= 0) return;
  const std::int32_t at = count_;
  SetSize(count_ + n);
  std::memmove(head_ + at, source, static_cast<std::size_t>(n));
}
