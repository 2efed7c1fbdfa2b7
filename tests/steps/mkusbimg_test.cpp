#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "steps/steps.h"
#include "support/reference_checks.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::Bytes;
using test::Exists;
using test::Hex;
using test::ReadBytes;
using test::ToBytes;
using test::WriteBytes;

using Lines = std::vector<std::string>;
using UsbStep = int32_t (*)(const std::string&, const std::string&);

// What each model's image must hold, written out here rather than taken
// from the code under test.
struct Model {
  const char* step;
  UsbStep make;
  const char* words;  // header bytes 20 to 35: the three model words and the partition size
  uint32_t limit;
  const char* too_big;
};
const Model kModels[] = {
    {"mkusbimg200", mkusbimg200, "00010000 00010000 FF810000 00030000", 196608,
     "ERROR: mkusimg200(), Input Size too big!"},
    {"mkusbimg300", mkusbimg300, "00030000 00010000 FF804000 0002C000", 180224,
     "ERROR: mkusimg300(), Input Size too big!"},
    {"mkusbimg400", mkusbimg400, "00040000 00010001 FF810000 00030000", 196608,
     "ERROR: mkusimg400(), Input Size too big!"},
};
const Model& k200 = kModels[0];
const Model& k300 = kModels[1];
const Model& k400 = kModels[2];

// The USB image for payload, built by hand from the header's fields.
Bytes ExpectedUsbImage(const Model& model, const Bytes& payload) {
  Bytes image = Hex("00000000 46696D67 00000050 00515256 7374726F");
  test::Append(image, Hex(model.words));
  test::Append(image, Hex("00001000"));
  test::Append(image, test::BE32(static_cast<uint32_t>(payload.size())));
  test::Append(image, test::BE32(test::ReferenceImageCrc(payload)));
  test::Append(image, ToBytes("welcome"));
  image.resize(4096, 0x00);
  const Bytes header_crc = test::BE32(test::ReferenceImageCrc(image, 4));
  std::copy(header_crc.begin(), header_crc.end(), image.begin());
  test::Append(image, payload);
  return image;
}

class Mkusbimg : public test::ScratchDirTest {
 protected:
  int32_t Run(const Model& model, const Bytes& input) {
    WriteBytes("part_welcome.img", input);
    return model.make("part_welcome.img", "usb_welcome.img");
  }
};

TEST_F(Mkusbimg, AbcGivesTheKnownImage) {
  Bytes expected = Hex(
      "6A 94 15 6A 46 69 6D 67 00 00 00 50 00 51 52 56 73 74 72 6F 00 01 00 00 00 01 00 00 FF 81 00 00"
      "00 03 00 00 00 00 10 00 00 00 00 03 35 9A 67 2F 77 65 6C 63 6F 6D 65");
  expected.resize(80 + 4016, 0x00);
  test::Append(expected, ToBytes("abc"));

  ASSERT_EQ(Run(k200, ToBytes("abc")), 0);
  EXPECT_EQ(ReadBytes("usb_welcome.img"), expected);
  EXPECT_EQ(expected.size(), 4099u);
  EXPECT_EQ(ExpectedUsbImage(k200, ToBytes("abc")), expected);  // the hand-built image agrees
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(Mkusbimg, EveryModelWrapsInputsUpToItsPartitionSize) {
  for (const Model& model : kModels) {
    for (const Bytes& input : {Bytes{}, test::Pattern(3), test::Pattern(model.limit)}) {
      SCOPED_TRACE(std::string(model.step) + ", " + std::to_string(input.size()) + " bytes");
      WriteBytes("usb_welcome.img", test::Pattern(300000));  // an earlier, longer image
      ASSERT_EQ(Run(model, input), 0);
      const Bytes image = ReadBytes("usb_welcome.img");
      EXPECT_EQ(image, ExpectedUsbImage(model, input));
      EXPECT_EQ(image.size(), input.size() + 4096);
    }
  }
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(Mkusbimg, EmptyInputGivesTheHeaderBlockAlone) {
  ASSERT_EQ(Run(k200, {}), 0);
  const Bytes image = ReadBytes("usb_welcome.img");
  ASSERT_EQ(image.size(), 4096u);
  EXPECT_EQ(Bytes(image.begin() + 40, image.begin() + 48), Hex("00000000 FFFFFFFF"));
  EXPECT_EQ(test::ReadBE32(image, 0), test::ReferenceImageCrc(image, 4));
}

TEST_F(Mkusbimg, InputOverThePartitionSizeLeavesNoOutput) {
  struct Case {
    const Model& model;
    uint32_t size;
  };
  const Case cases[] = {
      {k200, 196609},
      {k300, 180225},
      {k300, 196608},  // a partition image made for the larger models
      {k400, 196609},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model.step) + ", " + std::to_string(c.size) + " bytes");
    std::remove("test.log");
    WriteBytes("usb_welcome.img", Bytes{1, 2, 3});
    EXPECT_EQ(Run(c.model, test::Pattern(c.size)), -1);
    EXPECT_EQ(LogMessages(), Lines{c.model.too_big});
    EXPECT_FALSE(Exists("usb_welcome.img"));
  }
}

TEST_F(Mkusbimg, Models200And400DifferOnlyInHeaderCrcAndModelWords) {
  const Bytes input = test::Pattern(196608, 7);
  ASSERT_EQ(Run(k200, input), 0);
  const Bytes image200 = ReadBytes("usb_welcome.img");
  ASSERT_EQ(Run(k400, input), 0);
  const Bytes image400 = ReadBytes("usb_welcome.img");

  ASSERT_EQ(image200.size(), image400.size());
  std::set<size_t> differing;
  for (size_t i = 0; i < image200.size(); ++i) {
    if (image200[i] != image400[i]) differing.insert(i);
  }
  EXPECT_EQ(differing, (std::set<size_t>{0, 1, 2, 3, 21, 27}));
  for (const Bytes* image : {&image200, &image400}) {
    const Bytes block(image->begin(), image->begin() + 4096);
    EXPECT_EQ(test::ReadBE32(block, 0), test::ReferenceImageCrc(block, 4));
  }
}

TEST_F(Mkusbimg, FailuresAreLoggedWithTheStepsOwnPrefix) {
  for (const Model& model : kModels) {
    SCOPED_TRACE(model.step);
    std::remove("test.log");
    WriteBytes("usb_welcome.img", Bytes{1, 2, 3});
    EXPECT_EQ(model.make("missing.img", "usb_welcome.img"), -99);
    EXPECT_EQ(LogMessages(),
              Lines{std::string("ERROR: ") + model.step + "(), Msg=Cannot open file missing.img: No such file or directory"});
    EXPECT_FALSE(Exists("usb_welcome.img"));
  }
  std::remove("test.log");
  EXPECT_EQ(Run(k400, ToBytes("abc")), 0);
  EXPECT_EQ(mkusbimg400("part_welcome.img", "no-folder/usb.img"), -99);
  EXPECT_EQ(LogMessages(), Lines{"ERROR: mkusbimg400(), Msg=Cannot create file no-folder/usb.img: No such file or directory"});
}

TEST_F(Mkusbimg, SizeBeyondASigned32BitCountIsRangeCheckError) {
  if (!test::MakeSparseFile("part_welcome.img", 0x80000000u)) GTEST_SKIP() << "no sparse files here";
  EXPECT_EQ(mkusbimg300("part_welcome.img", "usb_welcome.img"), -99);
  EXPECT_EQ(LogMessages(), Lines{"ERROR: mkusbimg300(), Msg=Range check error"});
  EXPECT_FALSE(Exists("usb_welcome.img"));
}

}  // namespace
}  // namespace kws
