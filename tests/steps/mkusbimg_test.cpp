#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "steps/steps.h"
#include "support/model_vectors.h"
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
using test::ModelVector;
using test::VectorFor;
using UsbStep = int32_t (*)(const std::string&, const std::string&);

// The USB image for payload, built by hand from the header's fields as the
// model's vector gives them.
Bytes ExpectedUsbImage(const ModelVector& model, const Bytes& payload) {
  Bytes image = Hex("00000000 46696D67 00000050 00515256 7374726F");
  test::Append(image, Hex(model.words));
  test::Append(image, Hex("00001000"));
  test::Append(image, test::BE32(static_cast<uint32_t>(payload.size())));
  test::Append(image, test::BE32(test::ReferenceImageCrc(payload)));
  test::Append(image, ToBytes(model.image_name));
  image.resize(4096, 0x00);
  const Bytes header_crc = test::BE32(test::ReferenceImageCrc(image, 4));
  std::copy(header_crc.begin(), header_crc.end(), image.begin());
  test::Append(image, payload);
  return image;
}

class Mkusbimg : public test::ScratchDirTest {
 protected:
  int32_t Run(const UsbModel& model, const Bytes& input) {
    WriteBytes("part_welcome.img", input);
    return mkusbimg(model, "part_welcome.img", "usb_welcome.img");
  }
};

TEST_F(Mkusbimg, AbcGivesTheKnownImage) {
  Bytes expected =
      Hex("6A 94 15 6A 46 69 6D 67 00 00 00 50 00 51 52 56 73 74 72 6F 00 01 00 00 00 01 00 00 FF 81 00 00"
          "00 03 00 00 00 00 10 00 00 00 00 03 35 9A 67 2F 77 65 6C 63 6F 6D 65");
  expected.resize(80 + 4016, 0x00);
  test::Append(expected, ToBytes("abc"));

  ASSERT_EQ(Run(kUsbModel200, ToBytes("abc")), 0);
  EXPECT_EQ(ReadBytes("usb_welcome.img"), expected);
  EXPECT_EQ(expected.size(), 4099u);
  EXPECT_EQ(ExpectedUsbImage(VectorFor(kUsbModel200), ToBytes("abc")), expected);  // the hand-built image agrees
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(Mkusbimg, EveryModelWrapsInputsUpToItsPartitionSize) {
  for (const UsbModel& model : kUsbModels) {
    const ModelVector& v = VectorFor(model);
    for (const Bytes& input : {Bytes{}, test::Pattern(3), test::Pattern(v.partition_size)}) {
      SCOPED_TRACE(std::string(v.step) + ", " + std::to_string(input.size()) + " bytes");
      WriteBytes("usb_welcome.img", test::Pattern(300000));  // an earlier, longer image
      ASSERT_EQ(Run(model, input), 0);
      const Bytes image = ReadBytes("usb_welcome.img");
      EXPECT_EQ(image, ExpectedUsbImage(v, input));
      EXPECT_EQ(image.size(), input.size() + 4096);
    }
  }
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(Mkusbimg, EmptyInputGivesTheHeaderBlockAlone) {
  ASSERT_EQ(Run(kUsbModel200, {}), 0);
  const Bytes image = ReadBytes("usb_welcome.img");
  ASSERT_EQ(image.size(), 4096u);
  EXPECT_EQ(Bytes(image.begin() + 40, image.begin() + 48), Hex("00000000 FFFFFFFF"));
  EXPECT_EQ(test::ReadBE32(image, 0), test::ReferenceImageCrc(image, 4));
}

TEST_F(Mkusbimg, InputOverThePartitionSizeLeavesNoOutput) {
  struct Case {
    const UsbModel& model;
    uint32_t size;
  };
  std::vector<Case> cases;
  for (const UsbModel& model : kUsbModels) cases.push_back({model, VectorFor(model).partition_size + 1});
  // A partition image made for the larger models.
  cases.push_back({kUsbModel300, VectorFor(kUsbModel200).partition_size});
  for (const Case& c : cases) {
    const ModelVector& v = VectorFor(c.model);
    SCOPED_TRACE(std::string(v.step) + ", " + std::to_string(c.size) + " bytes");
    std::remove("test.log");
    WriteBytes("usb_welcome.img", Bytes{1, 2, 3});
    EXPECT_EQ(Run(c.model, test::Pattern(c.size)), -1);
    EXPECT_EQ(LogMessages(), Lines{v.too_big});
    EXPECT_FALSE(Exists("usb_welcome.img"));
  }
}

TEST_F(Mkusbimg, Models200And400DifferOnlyInHeaderCrcAndModelWords) {
  const Bytes input = test::Pattern(196608, 7);
  ASSERT_EQ(Run(kUsbModel200, input), 0);
  const Bytes image200 = ReadBytes("usb_welcome.img");
  ASSERT_EQ(Run(kUsbModel400, input), 0);
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
  for (const UsbModel& model : kUsbModels) {
    const ModelVector& v = VectorFor(model);
    SCOPED_TRACE(v.step);
    std::remove("test.log");
    WriteBytes("usb_welcome.img", Bytes{1, 2, 3});
    EXPECT_EQ(mkusbimg(model, "missing.img", "usb_welcome.img"), -99);
    EXPECT_EQ(LogMessages(), Lines{std::string("ERROR: ") + v.step + "(), Msg=Cannot open file missing.img"});
    EXPECT_FALSE(Exists("usb_welcome.img"));
  }
  std::remove("test.log");
  EXPECT_EQ(Run(kUsbModel400, ToBytes("abc")), 0);
  EXPECT_EQ(mkusbimg400("part_welcome.img", "no-folder/usb.img"), -99);
  EXPECT_EQ(LogMessages(), Lines{"ERROR: mkusbimg400(), Msg=Cannot create file no-folder/usb.img"});
}

// The steps named after the models are their rows of the table: the same
// image, the same lines.
TEST_F(Mkusbimg, TheNamedStepsAreTheirModelsRows) {
  const struct {
    UsbStep named;
    const UsbModel& model;
  } steps[] = {{mkusbimg200, kUsbModel200}, {mkusbimg300, kUsbModel300}, {mkusbimg400, kUsbModel400}};
  for (const auto& s : steps) {
    SCOPED_TRACE(s.model.step);
    for (const Bytes& input : {test::Pattern(1000), test::Pattern(VectorFor(s.model).partition_size + 1)}) {
      std::remove("test.log");
      WriteBytes("part_welcome.img", input);
      const int32_t named = s.named("part_welcome.img", "named.img");
      const Lines named_lines = LogMessages();
      std::remove("test.log");
      EXPECT_EQ(mkusbimg(s.model, "part_welcome.img", "row.img"), named);
      EXPECT_EQ(LogMessages(), named_lines);
      ASSERT_EQ(Exists("row.img"), Exists("named.img"));
      EXPECT_EQ(named == 0 ? ReadBytes("row.img") : Bytes{}, named == 0 ? ReadBytes("named.img") : Bytes{});
    }
  }
}

TEST_F(Mkusbimg, SizeBeyondASigned32BitCountIsRangeCheckError) {
  if (!test::MakeSparseFile("part_welcome.img", 0x80000000u)) GTEST_SKIP() << "no sparse files here";
  EXPECT_EQ(mkusbimg300("part_welcome.img", "usb_welcome.img"), -99);
  EXPECT_EQ(LogMessages(), Lines{"ERROR: mkusbimg300(), Msg=Range check error"});
  EXPECT_FALSE(Exists("usb_welcome.img"));
}

}  // namespace
}  // namespace kws
