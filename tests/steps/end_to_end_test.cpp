// A generated 720 x 576 bitmap through every step of the chain, in the order
// and with the file names the per-picture run uses. Each file is checked
// against an independent reading of its bytes: CRCs worked out bit by bit,
// big-endian fields read by hand, the picture decoded with zlib's own gzip
// reader.
#include <zlib.h>

#include <algorithm>
#include <string>

#include "steps/steps.h"
#include "support/model_vectors.h"
#include "support/reference_checks.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::BitmapRecipe;
using test::Bytes;
using test::Hex;
using test::ReadBE32;
using test::ReadBytes;
using test::ToBytes;

constexpr size_t kWelcomeHeader = 16;
constexpr size_t kUsbBlock = 4096;
constexpr size_t kSerialHeader = 64;
constexpr size_t kColorTableSize = 768;
constexpr uint32_t kPictureSize = 720 * 576;

Bytes Slice(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + static_cast<ptrdiff_t>(from), bytes.begin() + static_cast<ptrdiff_t>(to));
}

uint32_t ReadLE32(const Bytes& bytes, size_t at) {
  return uint32_t{bytes.at(at)} | (uint32_t{bytes.at(at + 1)} << 8) | (uint32_t{bytes.at(at + 2)} << 16) |
         (uint32_t{bytes.at(at + 3)} << 24);
}

Bytes ExpectedColorTable(const BitmapRecipe& recipe) {
  Bytes table;
  for (uint32_t i = 0; i < 256; ++i) {
    const Rgb c = test::GeneratedColor(recipe, i);
    table.insert(table.end(), {c.r, c.g, c.b});
  }
  return table;
}

// The bitmap stores its rows bottom row first; the receiver wants them top row first.
Bytes ExpectedPicture(const BitmapRecipe& recipe) {
  Bytes picture;
  for (uint32_t row = 576; row-- > 0;) {
    for (uint32_t x = 0; x < 720; ++x) picture.push_back(test::GeneratedPixel(recipe, x, row));
  }
  return picture;
}

// Decodes one gzip member with zlib's gzip reader, which also checks the
// member's own CRC-32 and length.
Bytes Gunzip(const Bytes& member) {
  z_stream zs{};
  EXPECT_EQ(inflateInit2(&zs, 16 + MAX_WBITS), Z_OK);
  Bytes out(kPictureSize + 1024);
  zs.next_in = const_cast<Bytef*>(member.data());
  zs.avail_in = static_cast<uInt>(member.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(zs.avail_in, 0u) << "bytes behind the gzip member";
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}

void CheckGzipMember(const Bytes& gz, const Bytes& picture) {
  ASSERT_GT(gz.size(), 26u + 8u);
  EXPECT_EQ(Slice(gz, 0, 10), Hex("1F 8B 08 08 0A 99 EB 43 02 03"));
  EXPECT_EQ(Slice(gz, 10, 26), test::Concat(ToBytes("welcome.qv.raw2"), Bytes{0}));
  const uint32_t crc32_of_picture =
      static_cast<uint32_t>(::crc32(0, picture.data(), static_cast<uInt>(picture.size())));
  EXPECT_EQ(ReadLE32(gz, gz.size() - 8), crc32_of_picture);
  EXPECT_EQ(ReadLE32(gz, gz.size() - 4), kPictureSize);
  EXPECT_EQ(Gunzip(gz), picture);
}

// Welcome image: CRC of bytes 4 to the end, data length, 1, 0, then the
// colour table and the gzip member of the picture.
void CheckWelcomeImage(const Bytes& welcome, const Bytes& color_table, const Bytes& picture) {
  ASSERT_GT(welcome.size(), kWelcomeHeader + kColorTableSize);
  EXPECT_LE(welcome.size(), 0x2C000u);
  EXPECT_EQ(ReadBE32(welcome, 0), test::ReferenceImageCrc(welcome, 4));
  EXPECT_EQ(ReadBE32(welcome, 4), welcome.size() - kWelcomeHeader);
  EXPECT_EQ(ReadBE32(welcome, 8), 1u);
  EXPECT_EQ(ReadBE32(welcome, 12), 0u);
  EXPECT_EQ(Slice(welcome, kWelcomeHeader, kWelcomeHeader + kColorTableSize), color_table);
  CheckGzipMember(Slice(welcome, kWelcomeHeader + kColorTableSize, welcome.size()), picture);
}

void CheckPartitionImage(const Bytes& part, const Bytes& welcome, size_t partition_size) {
  ASSERT_EQ(part.size(), partition_size);
  EXPECT_EQ(Slice(part, 0, welcome.size()), welcome);
  EXPECT_TRUE(std::all_of(part.begin() + static_cast<ptrdiff_t>(welcome.size()), part.end(),
                          [](uint8_t b) { return b == 0xFF; }));
}

void CheckUsbImage(const Bytes& usb, const char* model_words, const Bytes& part) {
  ASSERT_EQ(usb.size(), part.size() + kUsbBlock);
  EXPECT_EQ(ReadBE32(usb, 0), test::ReferenceImageCrc(Slice(usb, 0, kUsbBlock), 4));
  EXPECT_EQ(Slice(usb, 4, 20), Hex("46696D67 00000050 00515256 7374726F"));
  EXPECT_EQ(Slice(usb, 20, 36), Hex(model_words));
  EXPECT_EQ(ReadBE32(usb, 36), kUsbBlock);
  EXPECT_EQ(ReadBE32(usb, 40), part.size());
  EXPECT_EQ(ReadBE32(usb, 44), test::ReferenceImageCrc(usb, kUsbBlock));
  EXPECT_EQ(Slice(usb, 48, 55), ToBytes("welcome"));
  EXPECT_TRUE(std::all_of(usb.begin() + 55, usb.begin() + kUsbBlock, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(Slice(usb, kUsbBlock, usb.size()), part);
}

void CheckSerialImage(const Bytes& serial, const std::string& model_name, const Bytes& usb) {
  ASSERT_EQ(serial.size(), usb.size() + kSerialHeader);
  Bytes name_field = ToBytes(model_name);
  name_field.resize(30, 0x00);
  EXPECT_EQ(serial[0], 0x01);
  EXPECT_EQ(Slice(serial, 1, 31), name_field);
  EXPECT_EQ(Slice(serial, 31, 34), Hex("01 FF FF"));
  EXPECT_EQ(ReadBE32(serial, 34), usb.size());
  EXPECT_EQ(Slice(serial, 38, kSerialHeader), Bytes(26, 0xFF));
  EXPECT_EQ(Slice(serial, kSerialHeader, serial.size()), usb);
}

class EndToEnd : public test::ScratchDirTest {};

TEST_F(EndToEnd, BitmapBecomesEveryModelsUpdateImages) {
  BitmapRecipe recipe;
  recipe.seed = 4;
  test::WriteBytes("logo.bmp", test::MakeBitmap(recipe));

  ASSERT_EQ(convbmp("logo.bmp", "welcome.qv.colortable", "welcome.qv.raw"), 0);
  ASSERT_EQ(rawconv("welcome.qv.raw", "welcome.qv.raw2"), 0);
  ASSERT_EQ(gzip_f9("welcome.qv.raw2", "welcome.qv.raw2.gz"), 0);
  ASSERT_EQ(dd("welcome.qv.colortable", "welcome.qv.raw2.gz", "welcome.tmp"), 0);
  ASSERT_EQ(addheader("welcome.tmp", "welcome.tmp2", "welcome"), 0);

  const Bytes picture = ExpectedPicture(recipe);
  EXPECT_EQ(ReadBytes("welcome.qv.raw2"), picture);
  const Bytes welcome = ReadBytes("welcome");
  CheckWelcomeImage(welcome, ExpectedColorTable(recipe), picture);
  EXPECT_EQ(Slice(welcome, kWelcomeHeader, welcome.size()), ReadBytes("welcome.tmp"));

  // In the order of the per-picture run: the 0x30000 partition serves the
  // first two models, the 0x2C000 one the third.
  for (const UsbModel* model : ModelsInRunOrder()) {
    const test::ModelVector& m = test::VectorFor(*model);
    SCOPED_TRACE(m.step);
    ASSERT_EQ(appendbin(m.partition_size, "welcome", "part_welcome.img"), 0);
    const Bytes part = ReadBytes("part_welcome.img");
    CheckPartitionImage(part, welcome, m.partition_size);

    ASSERT_EQ(mkusbimg(*model, "part_welcome.img", "usb_welcome.img"), 0);
    const Bytes usb = ReadBytes("usb_welcome.img");
    CheckUsbImage(usb, m.words, part);

    ASSERT_EQ(mkserialimg("usb_welcome.img", "serial_welcome.img", m.serial_name), 0);
    CheckSerialImage(ReadBytes("serial_welcome.img"), m.serial_name, usb);
  }
  EXPECT_TRUE(LogMessages().empty());
}

}  // namespace
}  // namespace kws
