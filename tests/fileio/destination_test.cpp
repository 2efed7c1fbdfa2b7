#include "fileio/destination.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::ToBytes;
using test::WriteBytes;

class Destination : public test::ScratchDirTest {};

// What stands under the destination's name decides, by the file's identity
// and its mark, never by the name alone.
TEST_F(Destination, EachEntryHasItsStanding) {
  const Bytes card = ToBytes("the card's bytes");
  const struct {
    const char* name;
    std::function<void()> arrange;  // puts something at "out" (the input is "in")
    std::string destination;
    Standing standing;
  } cases[] = {
      {"nothing", [] {}, "out", Standing::kFree},
      {"a folder (the write refuses it)", [] { fs::create_directory("out"); }, "out", Standing::kFree},
      {"a device", [] {}, "/dev/null", Standing::kDevice},
      {"a file of the user's", [] { WriteBytes("out", ToBytes("notes")); }, "out", Standing::kUsers},
      {"written for this purpose", [] { WriteFileReplacing("out", ToBytes("made")); }, "out", Standing::kUsers},
      {"marked for this purpose", [] { WriteFileReplacing("out", ToBytes("made"), MadeFor::kPreview); }, "out",
       Standing::kMade},
      {"marked for another purpose", [] { WriteFileReplacing("out", ToBytes("made"), MadeFor::kImport); }, "out",
       Standing::kUsers},
      {"marked, then changed in place",
       [] {
         WriteFileReplacing("out", ToBytes("made"), MadeFor::kPreview);
         std::fstream f("out", std::ios::in | std::ios::out | std::ios::binary);
         f.put('M');
       },
       "out", Standing::kUsers},
      {"marked, then grown",
       [] {
         WriteFileReplacing("out", ToBytes("made"), MadeFor::kPreview);
         std::ofstream("out", std::ios::app) << "more";
       },
       "out", Standing::kUsers},
      {"a link to a marked file",
       [] {
         WriteFileReplacing("made", ToBytes("made"), MadeFor::kPreview);
         fs::create_symlink("made", "out");
       },
       "out", Standing::kUsers},
      {"a dangling link", [] { fs::create_symlink("nowhere", "out"); }, "out", Standing::kUsers},
      {"the input by another name", [] {}, "./in", Standing::kInput},
      {"a hard link to the input", [] { fs::create_hard_link("in", "out"); }, "out", Standing::kInput},
      {"a link to the input", [] { fs::create_symlink("in", "out"); }, "out", Standing::kInput},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all("out");
    fs::remove("made");
    WriteBytes("in", ToBytes("input"));
    c.arrange();
    const DestinationCheck check = CheckDestination(c.destination, {"other", "in"}, MadeFor::kPreview);
    EXPECT_EQ(check.standing, c.standing);
    EXPECT_EQ(check.input, c.standing == Standing::kInput ? "in" : "");
  }
}

// A file that holds exactly the bytes to be written loses nothing.
TEST_F(Destination, TheVeryBytesToBeWrittenMayBeReplaced) {
  WriteBytes("out", ToBytes("card"));
  const Bytes same = ToBytes("card"), other = ToBytes("cart");
  EXPECT_EQ(CheckDestination("out", {}, MadeFor::kTestCard, same).standing, Standing::kMade);
  EXPECT_EQ(CheckDestination("out", {}, MadeFor::kTestCard, other).standing, Standing::kUsers);
}

TEST_F(Destination, WhatMayBeWrittenAndWhatIsSaid) {
  DestinationCheck check;
  check.purpose = MadeFor::kImport;
  const struct {
    Standing standing;
    bool without, with;  // may it be written without and with the user's yes
    bool replaces;
  } cases[] = {
      {Standing::kFree, true, true, false},    {Standing::kDevice, true, true, false},
      {Standing::kMade, true, true, true},     {Standing::kUsers, false, true, true},
      {Standing::kInput, false, false, false},
  };
  for (const auto& c : cases) {
    check.standing = c.standing;
    EXPECT_EQ(check.MayWrite(false), c.without);
    EXPECT_EQ(check.MayWrite(true), c.with);
    EXPECT_EQ(check.Replaces(), c.replaces);
  }
  check.standing = Standing::kUsers;
  EXPECT_EQ(RefusalText("notes.bmp", check), "notes.bmp exists and is not a bitmap an import made");
  EXPECT_EQ(ReplacedText("notes.bmp", check), "replaced notes.bmp");
  check.standing = Standing::kMade;
  EXPECT_EQ(ReplacedText("logo.bmp", check), "replaced logo.bmp, a bitmap an import made");
  check.standing = Standing::kInput;
  check.input = "a.bmp";
  EXPECT_EQ(RefusalText("./a.bmp", check), "./a.bmp is the input a.bmp itself; name another output");
}

// The mark names the path it was written to: a moved or copied result (its
// attribute travelling with it) is the user's, the same file reached by
// another name of its folder is still ours.
TEST_F(Destination, TheMarkHoldsOnlyWhereTheFileWasWritten) {
  const struct {
    const char* name;
    std::function<void()> arrange;  // from "made.bmp", written by an import
    std::string destination;
    Standing standing;
  } cases[] = {
      {"where it was written", [] {}, "made.bmp", Standing::kMade},
      {"by another name of its folder", [] { fs::create_directory("sub"); }, "sub/../made.bmp", Standing::kMade},
      {"through a link to its folder", [] { fs::create_directory_symlink(".", "here"); }, "here/made.bmp",
       Standing::kMade},
      {"moved", [] { fs::rename("made.bmp", "moved.bmp"); }, "moved.bmp", Standing::kUsers},
      {"moved away and back", [] { fs::rename("made.bmp", "x.bmp"), fs::rename("x.bmp", "made.bmp"); }, "made.bmp",
       Standing::kMade},
      {"copied with its attributes", [] { ASSERT_EQ(std::system("cp -a made.bmp copied.bmp"), 0); }, "copied.bmp",
       Standing::kUsers},
      {"moved into another folder", [] { fs::create_directory("sub"), fs::rename("made.bmp", "sub/made.bmp"); },
       "sub/made.bmp", Standing::kUsers},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* name : {"made.bmp", "moved.bmp", "copied.bmp", "x.bmp", "sub", "here"}) fs::remove_all(name);
    WriteFileReplacing("made.bmp", ToBytes("made"), MadeFor::kImport);
    c.arrange();
    EXPECT_EQ(CheckDestination(c.destination, {}, MadeFor::kImport).standing, c.standing);
  }
}

// Between the judgement and the final step something else changes the
// destination (the hook stands in for another program): what was not judged
// is never replaced, and the bytes go to a free name that is said.
TEST_F(Destination, WhatChangedAfterTheJudgementIsKept) {
  const Bytes ours = ToBytes("ours"), theirs = ToBytes("theirs");
  const auto made = [] { WriteFileReplacing("out.bmp", ToBytes("made"), MadeFor::kImport); };
  const struct {
    const char* name;
    std::function<void()> before;  // before the judgement
    std::function<void()> meanwhile;
    std::string written, why;  // where ours went and why not to out.bmp
  } cases[] = {
      {"a free name, unchanged", [] {}, [] {}, "out.bmp", ""},
      {"a free name taken meanwhile", [] {}, [&] { WriteBytes("out.bmp", theirs); }, "out-1.bmp",
       "something took the name meanwhile"},
      {"a link planted at a free name", [] {}, [] { fs::create_symlink("elsewhere", "out.bmp"); }, "out-1.bmp",
       "something took the name meanwhile"},
      {"ours, unchanged", made, [] {}, "out.bmp", ""},
      {"ours, copied over in place", made,
       [&] {
         std::ofstream f("out.bmp", std::ios::binary | std::ios::trunc);
         f << "theirs";
       },
       "out-1.bmp", "it changed meanwhile"},
      {"ours, renamed over by another file", made, [&] { WriteBytes("t", theirs), fs::rename("t", "out.bmp"); },
       "out-1.bmp", "it changed meanwhile"},
      {"ours, moved away", made, [] { fs::rename("out.bmp", "gone.bmp"); }, "out-1.bmp", "it changed meanwhile"},
      {"the user's (allowed), changed in place", [&] { WriteBytes("out.bmp", ToBytes("notes")); },
       [&] { std::ofstream("out.bmp", std::ios::app) << "more"; }, "out-1.bmp", "it changed meanwhile"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
    c.before();
    const DestinationCheck check = CheckDestination("out.bmp", {}, MadeFor::kImport);
    std::optional<Bytes> there;  // what stands at out.bmp once the change is made
    hooks::before_final_step = [&] {
      c.meanwhile();
      if (fs::is_regular_file(fs::symlink_status("out.bmp"))) there = ReadBytes("out.bmp");
    };
    const WrittenTo written = WriteJudged("out.bmp", check, ours);
    EXPECT_EQ(written.name, c.written);
    EXPECT_EQ(written.why_not_destination, c.why);
    EXPECT_EQ(ReadBytes(c.written), ours);
    EXPECT_TRUE(CarriesMadeMark(c.written, MadeFor::kImport));
    if (written.Diverted() && there) {
      EXPECT_EQ(ReadBytes("out.bmp"), *there);
    }
    for (const auto& entry : fs::directory_iterator(".")) {
      EXPECT_NE(entry.path().filename().string().rfind(kTemporaryPrefix, 0), 0u) << entry.path();
    }
  }
  EXPECT_EQ(DivertedText("out.bmp", {"out-1.bmp", "it changed meanwhile"}),
            "out.bmp is kept (it changed meanwhile); written as out-1.bmp instead");
}

// Two writers judge one new name free at once: both write, under two names.
TEST_F(Destination, TwoWritersToOneNewNameBothKeepTheirBytes) {
  const DestinationCheck first = CheckDestination("same.bmp", {}, MadeFor::kImport);
  const DestinationCheck second = CheckDestination("same.bmp", {}, MadeFor::kImport);
  WrittenTo other;
  hooks::before_final_step = [&] { other = WriteJudged("same.bmp", second, ToBytes("second")); };
  const WrittenTo one = WriteJudged("same.bmp", first, ToBytes("first"));
  EXPECT_EQ(other.name, "same.bmp");
  EXPECT_FALSE(other.Diverted());
  EXPECT_EQ(one.name, "same-1.bmp");
  EXPECT_EQ(one.why_not_destination, "something took the name meanwhile");
  EXPECT_EQ(ReadBytes("same.bmp"), ToBytes("second"));
  EXPECT_EQ(ReadBytes("same-1.bmp"), ToBytes("first"));
}

TEST_F(Destination, FreeNamesAreNumberedBesideTheName) {
  EXPECT_EQ(FreeName("holiday.bmp"), "holiday.bmp");
  WriteBytes("holiday.bmp", ToBytes("x"));
  EXPECT_EQ(FreeName("holiday.bmp"), "holiday-1.bmp");
  fs::create_symlink("nowhere", "holiday-1.bmp");  // a dangling link is something too
  EXPECT_EQ(FreeName("holiday.bmp"), "holiday-2.bmp");
  fs::create_directory("sub");
  WriteBytes("sub/x", ToBytes("x"));
  EXPECT_EQ(FreeName("sub/x"), "sub/x-1");
}

}  // namespace
}  // namespace kws
