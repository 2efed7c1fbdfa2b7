#include "format/image_crc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/file.h"
#include "format/byte_order.h"

namespace kws {
namespace {

uint32_t StepwiseCrc(const std::string& text) {
  uint32_t reg = 0;
  for (unsigned char c : text) reg = crcstep(c, reg);
  return reg ^ 0xFFFFFFFF;
}

TEST(ImageCrc, KnownVectorsBulkAndStepwise) {
  struct Case {
    std::string bytes;
    uint32_t crc;
  };
  const Case cases[] = {
      {"123456789", 0xD202D277},
      {"abc", 0x359A672F},
      {"", 0xFFFFFFFF},
      {std::string(1, '\0'), 0xFFFFFFFF},
      {std::string(1000, '\0'), 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    EXPECT_EQ(ImageCrc(c.bytes.data(), c.bytes.size()), c.crc);
    EXPECT_EQ(StepwiseCrc(c.bytes), c.crc);
  }
}

TEST(ImageCrc, LeadingZerosDoNotChangeIt) {
  const std::string with_zeros = std::string(5, '\0') + "abc";
  EXPECT_EQ(ImageCrc(with_zeros.data(), with_zeros.size()), 0x359A672Fu);
}

TEST(ImageCrc, EqualsUsualCrc32AfterFourFFBytes) {
  const std::string data = "\xFF\xFF\xFF\xFFwelcome";
  const uint32_t usual =
      static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  EXPECT_EQ(ImageCrc(data.data() + 4, data.size() - 4), usual);
}

TEST(ImageCrc, AccumulatorMatchesOneShotAcrossSplits) {
  std::string data;
  for (int i = 0; i < 5000; ++i) data += static_cast<char>(i * 31 + 7);
  const uint32_t whole = ImageCrc(data.data(), data.size());
  for (size_t split : {size_t{0}, size_t{1}, size_t{4}, size_t{4095}, data.size()}) {
    ImageCrcAccumulator acc;
    acc.Add(data.data(), split);
    acc.Add(data.data() + split, data.size() - split);
    EXPECT_EQ(acc.Value(), whole) << "split at " << split;
  }
}

// Long runs of one byte are folded in arithmetically; the result must be
// zlib's to the bit wherever the runs begin and end, and however the data is
// cut into pieces.
TEST(Crc32, EqualsZlibAroundLongRuns) {
  struct Run {
    size_t at, length;
    uint8_t value;
  };
  struct Case {
    const char* what;
    size_t size;
    std::vector<Run> runs;
  };
  const Case cases[] = {
      {"no run", 20000, {}},
      {"shorter than a window", 1000, {{0, 1000, 0xFF}}},
      {"one byte short of folding", 20000, {{3001, 4095, 0x00}}},
      {"just long enough", 20000, {{3001, 4096, 0x00}}},
      {"one byte more", 20000, {{3001, 4097, 0xFF}}},
      {"at the start", 20000, {{0, 9000, 0xFF}}},
      {"to the end", 20000, {{7000, 13000, 0xFF}}},
      {"the whole buffer", 196608, {{0, 196608, 0xFF}}},
      {"padding of a partition", 196608, {{0, 9000, 0x11}, {9000, 196608 - 9000, 0xFF}}},
      {"two runs touching", 30000, {{1000, 8000, 0x00}, {9000, 8000, 0xFF}}},
      {"runs of every block count", 400000, {{100, 4096 * 7 + 5, 0x42}, {40000, 4096 * 40 + 1, 0x42}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes(c.size);
    uint32_t seed = 12345;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 24);
    for (const Run& r : c.runs) std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(r.at), r.length, r.value);
    for (const uint32_t running : {0u, 0xFFFFFFFFu, 0x12345678u}) {
      const auto expected = static_cast<uint32_t>(crc32_z(running, bytes.data(), bytes.size()));
      EXPECT_EQ(Crc32(running, bytes.data(), bytes.size()), expected) << std::hex << running;
      // Fed in uneven pieces, as a stream is.
      uint32_t piecewise = running;
      for (size_t at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 + 1) {
        piecewise = Crc32(piecewise, bytes.data() + at, std::min(piece, bytes.size() - at));
      }
      EXPECT_EQ(piecewise, expected) << std::hex << running;
    }
  }
}

TEST(CrcStep, TableEntries) {
  EXPECT_EQ(crcstep(0x00, 0x00000000), 0x00000000u);
  EXPECT_EQ(crcstep(0x01, 0x00000000), 0x77073096u);
  EXPECT_EQ(crcstep(0x80, 0x00000000), 0xEDB88320u);
  EXPECT_EQ(crcstep(0xFF, 0x00000000), 0x2D02EF8Du);
}

TEST(ReverseBytes, ReversesTheGivenCount) {
  std::array<uint8_t, 12> buf{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  reversebytes(buf.data(), 4);
  EXPECT_EQ(buf, (std::array<uint8_t, 12>{4, 3, 2, 1, 5, 6, 7, 8, 9, 10, 11, 12}));

  buf = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  reversebytes(buf.data(), 11);
  EXPECT_EQ(buf, (std::array<uint8_t, 12>{11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 12}));

  for (int32_t count : {0, 1}) {
    buf = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    reversebytes(buf.data(), count);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[1], 2);
  }
}

TEST(ReverseBytes, CountOutOfRangeFailsAndLeavesBuffer) {
  for (int32_t count : {12, -1}) {
    std::array<uint8_t, 12> buf{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const auto before = buf;
    try {
      reversebytes(buf.data(), count);
      FAIL() << "count " << count << " accepted";
    } catch (const FileError& e) {
      EXPECT_STREQ(e.what(), "Range check error");
    }
    EXPECT_EQ(buf, before);
  }
}

TEST(ReverseBytes, TurnsANativeValueBigEndianLikeTheFieldWriter) {
  for (uint32_t value : {0x00000001u, 0x0002BFF0u, 0xD202D277u}) {
    uint32_t v = value;
    reversebytes(&v, 4);
    uint8_t be[4];
    PutBE32(be, value);
    EXPECT_EQ(0, std::memcmp(&v, be, 4)) << std::hex << value;
    EXPECT_EQ(GetBE32(be), value);
  }
  uint8_t be[4];
  PutBE32(be, 0xD202D277);
  EXPECT_EQ(be[0], 0xD2);
  EXPECT_EQ(be[1], 0x02);
  EXPECT_EQ(be[2], 0xD2);
  EXPECT_EQ(be[3], 0x77);
}

}  // namespace
}  // namespace kws
