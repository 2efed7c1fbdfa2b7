// Numbers in messages (format/number_text.h): digits grouped by thousands.
#include "format/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace kws {
namespace {

TEST(GroupDigits, GroupsThousandsFromTheRight) {
  const struct {
    uint64_t value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {7, "7"},
      {999, "999"},
      {1000, "1,000"},
      {65536, "65,536"},
      {180208, "180,208"},
      {1000000, "1,000,000"},
      {12345678, "12,345,678"},
      {std::numeric_limits<uint64_t>::max(), "18,446,744,073,709,551,615"},
  };
  for (const auto& c : cases) EXPECT_EQ(GroupDigits(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace kws
