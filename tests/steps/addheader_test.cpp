#include <algorithm>
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

// The welcome image for data, built by hand: header words, data, then the
// CRC of everything behind the CRC field.
Bytes ExpectedWelcomeImage(const Bytes& data) {
  Bytes image = test::Concat(Hex("00000000"), test::BE32(static_cast<uint32_t>(data.size())));
  test::Append(image, Hex("00000001 00000000"));
  test::Append(image, data);
  const Bytes crc = test::BE32(test::ReferenceImageCrc(image, 4));
  std::copy(crc.begin(), crc.end(), image.begin());
  return image;
}

// The temporary file holds the same image with a zero CRC field.
Bytes Provisional(Bytes image) {
  std::fill_n(image.begin(), 4, uint8_t{0});
  return image;
}

class Addheader : public test::ScratchDirTest {
 protected:
  int32_t Run(const Bytes& input) {
    WriteBytes("welcome.tmp", input);
    return addheader("welcome.tmp", "welcome.tmp2", "welcome");
  }
};

TEST_F(Addheader, WritesTheWelcomeImageAndLeavesTheProvisionalOne) {
  struct Case {
    const char* what;
    Bytes input;
    Bytes image;
  };
  const Case cases[] = {
      {"abc", ToBytes("abc"), Hex("8E AE B5 41 00 00 00 03 00 00 00 01 00 00 00 00 61 62 63")},
      {"empty", {}, Hex("C2 9F D6 4F 00 00 00 00 00 00 00 01 00 00 00 00")},
      {"largest accepted, 180,208 bytes", test::Pattern(180208), ExpectedWelcomeImage(test::Pattern(180208))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes("welcome", ToBytes("an earlier, longer welcome image"));
    ASSERT_EQ(Run(c.input), 0);
    EXPECT_EQ(ReadBytes("welcome"), c.image);
    EXPECT_EQ(ReadBytes("welcome.tmp2"), Provisional(c.image));
    EXPECT_EQ(ExpectedWelcomeImage(c.input), c.image);  // the hand-built image agrees with the vectors
    EXPECT_TRUE(LogMessages().empty());
  }
  EXPECT_EQ(ReadBytes("welcome").size(), 180224u);
}

TEST_F(Addheader, SameInputTwiceGivesTheSameImage) {
  ASSERT_EQ(Run(test::Pattern(5000, 3)), 0);
  const Bytes first = ReadBytes("welcome");
  ASSERT_EQ(Run(test::Pattern(5000, 3)), 0);
  EXPECT_EQ(ReadBytes("welcome"), first);
}

TEST_F(Addheader, TooBigInputWritesNoFile) {
  EXPECT_EQ(Run(test::Pattern(180209)), -1);
  EXPECT_EQ(LogMessages(), Lines{"ERROR: addheader(), raw file is too big! Size=180209"});
  EXPECT_FALSE(Exists("welcome.tmp2"));
  EXPECT_FALSE(Exists("welcome"));
}

TEST_F(Addheader, RefusedInputLeavesEarlierFilesUntouched) {
  struct Case {
    const char* what;
    bool input_exists;
    int32_t code;
    std::string line;
  };
  const Case cases[] = {
      {"missing", false, -2, "ERROR: addheader(), file welcome.tmp do not exist!"},
      {"too big", true, -1, "ERROR: addheader(), raw file is too big! Size=180209"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    std::remove("welcome.tmp");
    if (c.input_exists) WriteBytes("welcome.tmp", test::Pattern(180209));
    WriteBytes("welcome.tmp2", Bytes{1, 2, 3});
    WriteBytes("welcome", Bytes{4, 5, 6});
    EXPECT_EQ(addheader("welcome.tmp", "welcome.tmp2", "welcome"), c.code);
    EXPECT_EQ(LogMessages(), Lines{c.line});
    EXPECT_EQ(ReadBytes("welcome.tmp2"), (Bytes{1, 2, 3}));
    EXPECT_EQ(ReadBytes("welcome"), (Bytes{4, 5, 6}));
  }
}

TEST_F(Addheader, FailuresAreCaughtAndAnEarlierOutputIsReplacedOnlyByTheLastPass) {
  struct Case {
    const char* what;
    std::string temporary;
    std::string output;
    std::string line;
    bool earlier_output_stays;
  };
  const Case cases[] = {
      {"temporary cannot be created", "no-folder/welcome.tmp2", "welcome",
       "ERROR: addheader(), Msg=Cannot create file no-folder/welcome.tmp2", true},
      {"output cannot be created", "welcome.tmp2", "no-folder/welcome",
       "ERROR: addheader(), Msg=Cannot create file no-folder/welcome", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    WriteBytes("welcome.tmp", ToBytes("abc"));
    WriteBytes("welcome", Bytes{4, 5, 6});
    EXPECT_EQ(addheader("welcome.tmp", c.temporary, c.output), -99);
    EXPECT_EQ(LogMessages(), Lines{c.line});
    if (c.earlier_output_stays) {
      EXPECT_EQ(ReadBytes("welcome"), (Bytes{4, 5, 6}));
    }
  }
  // The second case got as far as the provisional image.
  EXPECT_EQ(ReadBytes("welcome.tmp2"), Hex("00000000 00000003 00000001 00000000 616263"));
}

TEST_F(Addheader, SizeBeyondASigned32BitCountIsRangeCheckError) {
  if (!test::MakeSparseFile("welcome.tmp", 0x80000000u)) GTEST_SKIP() << "no sparse files here";
  EXPECT_EQ(addheader("welcome.tmp", "welcome.tmp2", "welcome"), -99);
  EXPECT_EQ(LogMessages(), Lines{"ERROR: addheader(), Msg=Range check error"});
  EXPECT_FALSE(Exists("welcome.tmp2"));
  EXPECT_FALSE(Exists("welcome"));
}

}  // namespace
}  // namespace kws
