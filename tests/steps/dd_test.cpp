#include <cstdio>
#include <optional>
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
using test::ToBytes;
using test::WriteBytes;

using Lines = std::vector<std::string>;

class Dd : public test::ScratchDirTest {};

TEST_F(Dd, JoinsFirstThenSecond) {
  struct Case {
    const char* what;
    Bytes first;
    Bytes second;
  };
  const Case cases[] = {
      {"three and two bytes", ToBytes("abc"), ToBytes("de")},
      {"empty first", {}, ToBytes("de")},
      {"empty second", ToBytes("abc"), {}},
      {"both empty", {}, {}},
      {"colour table and a larger file", test::Pattern(768, 2), test::Pattern(100000, 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes("ct", c.first);
    WriteBytes("gz", c.second);
    WriteBytes("out", test::Pattern(200000));  // an earlier, longer output
    ASSERT_EQ(dd("ct", "gz", "out"), 0);
    EXPECT_EQ(ReadBytes("out"), test::Concat(c.first, c.second));
    EXPECT_TRUE(LogMessages().empty());
  }
  EXPECT_EQ(ReadBytes("out").size(), 100768u);
}

TEST_F(Dd, FailuresAreCaughtAndLeaveWhatWasWritten) {
  struct Case {
    const char* what;
    std::string first;
    std::string second;
    std::string output;
    std::string line;
    std::optional<Bytes> left;  // the output afterwards; none when it does not exist
  };
  const Case cases[] = {
      {"missing first", "missing.ct", "gz", "out", "ERROR: dd(), Msg=Cannot open file missing.ct", std::nullopt},
      {"missing second", "ct", "missing.gz", "out", "ERROR: dd(), Msg=Cannot open file missing.gz", ToBytes("abc")},
      {"output cannot be created", "ct", "gz", "no-folder/out", "ERROR: dd(), Msg=Cannot create file no-folder/out",
       Bytes{4, 5, 6}},
  };
  WriteBytes("ct", ToBytes("abc"));
  WriteBytes("gz", ToBytes("de"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    WriteBytes("out", Bytes{4, 5, 6});
    EXPECT_EQ(dd(c.first, c.second, c.output), -99);
    EXPECT_EQ(LogMessages(), Lines{c.line});
    EXPECT_EQ(Exists("out"), c.left.has_value());
    if (c.left) {
      EXPECT_EQ(ReadBytes("out"), *c.left);
    }
  }
}

}  // namespace
}  // namespace kws
