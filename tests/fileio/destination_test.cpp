#include "fileio/destination.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

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
