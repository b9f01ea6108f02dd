// cmcBuff: growable byte queue. Bytes are appended at the back, read in place
// at the front and dropped from the front a slice at a time (Assign of the
// tail). It is the send queue of both links.
#pragma once
#include <cstdint>

class cmcBuff {
 public:
  cmcBuff();
  ~cmcBuff();
  cmcBuff(const cmcBuff&) = delete;
  cmcBuff& operator=(const cmcBuff&) = delete;

  // Frees the storage and starts again with one byte of capacity.
  void Wipe();
  // Grows when n is above the capacity (new capacity n + count / 4), then
  // makes n the count. Shrinking only lowers the count.
  std::int32_t SetSize(std::int32_t n);
  std::int32_t Count() const { return count_; }
  std::int32_t Capacity() const { return capacity_; }
  // First byte held; valid until the next call that changes the queue.
  std::uint8_t* Data() { return head_; }
  const std::uint8_t* Data() const { return head_; }
  // SetSize(n), then an overlapping move of n bytes from source to the front.
  void Assign(const void* source, std::int32_t n);
  // Adds n bytes at the back.
  void Append(const void* source, std::int32_t n);

 private:
  std::uint8_t* storage_ = nullptr;
  std::uint8_t* head_ = nullptr;
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
  std::uint8_t fill_ = 0;
};
