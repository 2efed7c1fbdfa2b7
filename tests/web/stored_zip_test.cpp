// The page's zip of the six images, read back field by field as an unzip
// tool reads it: from the end record to the central directory to each local
// header and its data.
#include "stored_zip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/reference_checks.h"
#include "support/test_support.h"

namespace kws::web {
namespace {

uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) { return Le16(b, at) | (Le16(b, at + 2) << 16); }

uint32_t Crc(const std::vector<uint8_t>& bytes) {
  return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

// The members an unzip tool finds, after checking that the central
// directory and the local headers agree.
std::vector<ZipMember> ReadBack(const std::vector<uint8_t>& zip) {
  std::vector<ZipMember> members;
  EXPECT_GE(zip.size(), 22u);
  const size_t end = zip.size() - 22;
  EXPECT_EQ(Le32(zip, end), 0x06054b50u);
  const uint32_t count = Le16(zip, end + 10);
  EXPECT_EQ(Le16(zip, end + 8), count);
  const uint32_t directory_size = Le32(zip, end + 12);
  size_t entry = Le32(zip, end + 16);
  EXPECT_EQ(entry + directory_size, end);
  for (uint32_t i = 0; i < count; ++i) {
    EXPECT_EQ(Le32(zip, entry), 0x02014b50u);
    EXPECT_EQ(Le16(zip, entry + 10), 0u);  // stored
    const uint32_t crc = Le32(zip, entry + 16);
    const uint32_t size = Le32(zip, entry + 20);
    EXPECT_EQ(Le32(zip, entry + 24), size);
    const uint32_t name_size = Le16(zip, entry + 28);
    const size_t local = Le32(zip, entry + 42);
    const std::string name(zip.begin() + entry + 46, zip.begin() + entry + 46 + name_size);
    // The local header repeats the directory's fields.
    EXPECT_EQ(Le32(zip, local), 0x04034b50u);
    EXPECT_TRUE(std::equal(zip.begin() + local + 4, zip.begin() + local + 30, zip.begin() + entry + 6));
    EXPECT_EQ(std::string(zip.begin() + local + 30, zip.begin() + local + 30 + name_size), name);
    const size_t data = local + 30 + name_size;
    ZipMember m{name, std::vector<uint8_t>(zip.begin() + data, zip.begin() + data + size)};
    EXPECT_EQ(Crc(m.bytes), crc) << name;
    members.push_back(std::move(m));
    entry += 46 + name_size;
  }
  return members;
}

TEST(StoredZip, HoldsEachMemberAsGiven) {
  struct Case {
    const char* what;
    std::vector<ZipMember> members;
  };
  const Case cases[] = {
      {"no member", {}},
      {"an empty member", {{"empty.img", {}}}},
      {"one member", {{"hello.txt", test::ToBytes("hello")}}},
      {"six images' worth",
       {{"logo_borvik200_usb_welcome.img", test::Pattern(200704, 1)},
        {"logo_borvik200_serial_welcome.img", test::Pattern(200768, 2)},
        {"logo_kestro400_usb_welcome.img", test::Pattern(200704, 3)},
        {"logo_kestro400_serial_welcome.img", test::Pattern(200768, 4)},
        {"logo_kestro300_usb_welcome.img", test::Pattern(184320, 5)},
        {"logo_kestro300_serial_welcome.img", test::Pattern(184384, 6)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<ZipMember> back = ReadBack(StoredZip(c.members));
    ASSERT_EQ(back.size(), c.members.size());
    for (size_t i = 0; i < back.size(); ++i) {
      EXPECT_EQ(back[i].name, c.members[i].name);
      EXPECT_EQ(back[i].bytes, c.members[i].bytes);
    }
  }
}

TEST(StoredZip, KnownBytes) {
  // An empty archive is its end record alone.
  EXPECT_EQ(StoredZip({}),
            std::vector<uint8_t>({'P', 'K', 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // "hello": CRC-32 0x3610A686, dated 1980-01-01 00:00, so the same images
  // always zip to the same bytes.
  const std::vector<uint8_t> zip = StoredZip({{"a", test::ToBytes("hello")}});
  EXPECT_EQ(Le32(zip, 14), 0x3610A686u);
  EXPECT_EQ(Le16(zip, 10), 0u);
  EXPECT_EQ(Le16(zip, 12), 0x21u);
  EXPECT_EQ(zip.size(), 30u + 1 + 5 + 46 + 1 + 22);
}

}  // namespace
}  // namespace kws::web
