#include "links/cmcBuff.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

TEST(ByteQueue, GrowsByAQuarterOfWhatItHolds) {
  cmcBuff q;
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(q.Capacity(), 1);
  std::vector<int> seen{q.Capacity()};
  for (int i = 0; i < 40; ++i) {
    const std::uint8_t b = static_cast<std::uint8_t>(i);
    q.Append(&b, 1);
    if (q.Capacity() != seen.back()) seen.push_back(q.Capacity());
  }
  const std::vector<int> expected{1, 2, 3, 4, 6, 8, 11, 14, 18, 23, 29, 37, 47};
  EXPECT_EQ(seen, expected);
  for (int i = 0; i < 40; ++i) ASSERT_EQ(q.Data()[i], i);
}

TEST(ByteQueue, GrowthKeepsBytesAndZeroesTheNewRoom) {
  cmcBuff q;
  const std::uint8_t three[] = {7, 8, 9};
  q.Append(three, 3);
  ASSERT_EQ(q.Count(), 3);
  EXPECT_EQ(q.Data()[0], 7);
  EXPECT_EQ(q.Data()[2], 9);
  q.SetSize(10);  // grows to 10 + 3 / 4 = 10
  EXPECT_EQ(q.Capacity(), 10);
  EXPECT_EQ(q.Data()[1], 8);
  for (int i = 3; i < 10; ++i) EXPECT_EQ(q.Data()[i], 0) << i;
}

TEST(ByteQueue, ShrinkingAndSmallSetSizeNeverReallocate) {
  cmcBuff q;
  std::vector<std::uint8_t> bytes(100);
  std::iota(bytes.begin(), bytes.end(), 0);
  q.Append(bytes.data(), 100);
  const std::uint8_t* before = q.Data();
  const int capacity = q.Capacity();
  q.Append(bytes.data(), 0);
  EXPECT_EQ(q.Count(), 100);
  q.SetSize(capacity);
  q.SetSize(5);
  EXPECT_EQ(q.Data(), before);
  EXPECT_EQ(q.Capacity(), capacity);
  EXPECT_EQ(q.Count(), 5);
  q.SetSize(0);
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(q.Data(), before);
}

TEST(ByteQueue, DroppingAFrontSliceKeepsTheRestInOrder) {
  cmcBuff q;
  std::vector<std::uint8_t> bytes(100);
  std::iota(bytes.begin(), bytes.end(), 0);
  q.Append(bytes.data(), 100);
  q.Assign(q.Data() + 10, q.Count() - 10);
  ASSERT_EQ(q.Count(), 90);
  for (int i = 0; i < 90; ++i) ASSERT_EQ(q.Data()[i], i + 10);
  // Appending after a drop still lands behind the remaining bytes.
  const std::uint8_t tail = 0xEE;
  q.Append(&tail, 1);
  EXPECT_EQ(q.Count(), 91);
  EXPECT_EQ(q.Data()[89], 99);
  EXPECT_EQ(q.Data()[90], 0xEE);
}

TEST(ByteQueue, WipeStartsAfresh) {
  cmcBuff q;
  const std::uint8_t b[4] = {1, 2, 3, 4};
  q.Append(b, 4);
  q.Wipe();
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(q.Capacity(), 1);
}
