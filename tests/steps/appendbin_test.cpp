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
using test::ReadBytes;
using test::WriteBytes;

using Lines = std::vector<std::string>;

class Appendbin : public test::ScratchDirTest {};

TEST_F(Appendbin, PadsWithFFToExactlyTheSize) {
  struct Case {
    const char* what;
    uint32_t size;
    Bytes input;
    Bytes output;
  };
  const Case cases[] = {
      {"0x2C000 bytes to 0x30000", 0x30000, test::Pattern(0x2C000),
       test::Concat(test::Pattern(0x2C000), Bytes(16384, 0xFF))},
      {"exactly the size", 0x2C000, test::Pattern(0x2C000), test::Pattern(0x2C000)},
      {"empty input", 0x30000, {}, Bytes(0x30000, 0xFF)},
      {"size 0, empty input", 0, {}, {}},
      {"one byte short", 4, test::ToBytes("abc"), test::Hex("616263 FF")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes("welcome", c.input);
    WriteBytes("part.img", test::Pattern(0x31000, 9));  // an earlier, longer output
    ASSERT_EQ(appendbin(c.size, "welcome", "part.img"), 0);
    EXPECT_EQ(ReadBytes("part.img"), c.output);
    EXPECT_TRUE(LogMessages().empty());
  }
}

TEST_F(Appendbin, InputLargerThanTheSizeLeavesNoOutput) {
  struct Case {
    const char* what;
    uint32_t size;
    uint64_t input_size;
  };
  const Case cases[] = {
      {"one byte over 0x30000", 0x30000, 0x30001},
      {"one byte over 0x2C000", 0x2C000, 0x2C001},
      {"one byte, size 0", 0, 1},
      // Cut to 32 bits this size would read as 1 and pass.
      {"4 GiB + 1 byte", 0x30000, 0x100000001u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    if (!test::MakeSparseFile("welcome", c.input_size)) GTEST_SKIP() << "no sparse files here";
    WriteBytes("part.img", Bytes{1, 2, 3});
    EXPECT_EQ(appendbin(c.size, "welcome", "part.img"), -1);
    EXPECT_EQ(LogMessages(), Lines{"ERROR: appendbin(), input is too big!"});
    EXPECT_FALSE(Exists("part.img"));
  }
}

TEST_F(Appendbin, FailuresAreCaught) {
  struct Case {
    const char* what;
    std::string input;
    std::string output;
    std::string line;
    bool earlier_output_left;
  };
  const Case cases[] = {
      // The earlier output is deleted before the input is opened.
      {"missing input", "missing", "part.img", "ERROR: appendbin(), Msg=Cannot open file missing", false},
      {"output cannot be created", "welcome", "no-folder/part.img",
       "ERROR: appendbin(), Msg=Cannot create file no-folder/part.img", true},
  };
  WriteBytes("welcome", test::ToBytes("abc"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    WriteBytes("part.img", Bytes{1, 2, 3});
    EXPECT_EQ(appendbin(0x30000, c.input, c.output), -99);
    EXPECT_EQ(LogMessages(), Lines{c.line});
    EXPECT_EQ(Exists("part.img"), c.earlier_output_left);
  }
}

}  // namespace
}  // namespace kws
