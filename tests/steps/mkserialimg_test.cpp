#include <cstdio>
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

const std::string k30Chars = "QuorvatelMurraTwin8M-abcdefghi";  // 30 characters
const std::string k31Chars = k30Chars + "j";

// The serial image for payload, built by hand: name_field is header bytes 1 to 30.
Bytes ExpectedSerialImage(const Bytes& name_field, const Bytes& payload) {
  Bytes image = test::Concat(Hex("01"), name_field);
  test::Append(image, Hex("01 FFFF"));
  test::Append(image, test::BE32(static_cast<uint32_t>(payload.size())));
  test::Append(image, Bytes(26, 0xFF));
  test::Append(image, payload);
  return image;
}

Bytes NameField(const std::string& text) {
  Bytes field = ToBytes(text);
  field.resize(30, 0x00);
  return field;
}

class Mkserialimg : public test::ScratchDirTest {
 protected:
  int32_t Run(const Bytes& input, const std::string& model) {
    WriteBytes("usb_welcome.img", input);
    return mkserialimg("usb_welcome.img", "serial_welcome.img", model);
  }
};

TEST_F(Mkserialimg, Kestro400OnThreeBytesGivesTheKnownImage) {
  Bytes expected = Hex("01 6B 65 73 74 72 6F 34 30 30");
  test::Append(expected, Bytes(21, 0x00));
  test::Append(expected, Hex("01 FF FF 00 00 00 03"));
  test::Append(expected, Bytes(26, 0xFF));
  test::Append(expected, ToBytes("abc"));

  WriteBytes("serial_welcome.img", test::Pattern(1000));  // an earlier, longer image
  ASSERT_EQ(Run(ToBytes("abc"), "kestro400"), 0);
  EXPECT_EQ(ReadBytes("serial_welcome.img"), expected);
  EXPECT_EQ(expected.size(), 67u);
  // The hand-built image agrees with the known one.
  EXPECT_EQ(ExpectedSerialImage(NameField("kestro400"), ToBytes("abc")), expected);
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(Mkserialimg, HeaderCarriesNameAndLength) {
  struct Case {
    const char* what;
    std::string model;
    Bytes name_field;
    Bytes input;
    const char* length_field;  // header bytes 34 to 37
  };
  const Case cases[] = {
      {"30-character name fills the field", k30Chars, ToBytes(k30Chars), ToBytes("abc"), "00000003"},
      {"empty name", "", Bytes(30, 0x00), ToBytes("abc"), "00000003"},
      {"name ends at a zero character", std::string("ab\0cd", 5), NameField("ab"), ToBytes("abc"), "00000003"},
      {"QuorvatelMurraTwin8M", "QuorvatelMurraTwin8M", NameField("QuorvatelMurraTwin8M"), test::Pattern(4099),
       "00001003"},
      {"empty input", "kestro100s", NameField("kestro100s"), {}, "00000000"},
      {"196,608-byte input", "kestro100s", NameField("kestro100s"), test::Pattern(196608), "00030000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(Run(c.input, c.model), 0);
    const Bytes image = ReadBytes("serial_welcome.img");
    EXPECT_EQ(image, ExpectedSerialImage(c.name_field, c.input));
    ASSERT_EQ(image.size(), c.input.size() + 64);
    EXPECT_EQ(Bytes(image.begin() + 34, image.begin() + 38), Hex(c.length_field));
    EXPECT_EQ(image[31], 0x01);
  }
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(Mkserialimg, NameLongerThan30IsRefusedWhetherOrNotTheInputExists) {
  for (bool input_exists : {true, false}) {
    SCOPED_TRACE(input_exists ? "input exists" : "input missing");
    std::remove("test.log");
    std::remove("usb_welcome.img");
    if (input_exists) WriteBytes("usb_welcome.img", ToBytes("abc"));
    WriteBytes("serial_welcome.img", Bytes{1, 2, 3});
    EXPECT_EQ(mkserialimg("usb_welcome.img", "serial_welcome.img", k31Chars), -1);
    EXPECT_EQ(LogMessages(), Lines{"ERROR: mkserialimg(), Model Name is too long! Max length = 30"});
    EXPECT_FALSE(Exists("serial_welcome.img"));
  }
}

TEST_F(Mkserialimg, FailuresAreCaught) {
  struct Case {
    const char* what;
    std::string input;
    std::string output;
    std::string line;
    bool earlier_output_left;
  };
  const Case cases[] = {
      // The earlier output is deleted before the input is opened.
      {"missing input", "missing.img", "serial_welcome.img", "ERROR: mkserialimg(), Msg=Cannot open file missing.img",
       false},
      {"output cannot be created", "usb_welcome.img", "no-folder/serial.img",
       "ERROR: mkserialimg(), Msg=Cannot create file no-folder/serial.img", true},
  };
  WriteBytes("usb_welcome.img", ToBytes("abc"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    WriteBytes("serial_welcome.img", Bytes{1, 2, 3});
    EXPECT_EQ(mkserialimg(c.input, c.output, "kestro400"), -99);
    EXPECT_EQ(LogMessages(), Lines{c.line});
    EXPECT_EQ(Exists("serial_welcome.img"), c.earlier_output_left);
  }
}

TEST_F(Mkserialimg, SizeBeyondASigned32BitCountIsRangeCheckError) {
  if (!test::MakeSparseFile("usb_welcome.img", 0x80000000u)) GTEST_SKIP() << "no sparse files here";
  EXPECT_EQ(mkserialimg("usb_welcome.img", "serial_welcome.img", "kestro400"), -99);
  EXPECT_EQ(LogMessages(), Lines{"ERROR: mkserialimg(), Msg=Range check error"});
  EXPECT_FALSE(Exists("serial_welcome.img"));
}

}  // namespace
}  // namespace kws
