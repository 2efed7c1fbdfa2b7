// Names are data: every byte of a file name survives JSON and the shell, and
// nothing in a name can steer a terminal.
#include "fileio/name_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

namespace kws {
namespace {

const std::string kNames[] = {
    "plain.bmp",
    "caf\xe9.bmp",  // Latin-1, not UTF-8
    "bad\xff.bmp",  // two names that differ in one invalid byte
    "bad\xfe.bmp",
    "caf\xc3\xa9.bmp",             // the same name in UTF-8
    "smile \xf0\x9f\x98\x80.bmp",  // outside the BMP: a surrogate pair
    "\xed\xa0\x80surrogate.bmp",   // an encoded surrogate is not UTF-8
    "\xc0\xafoverlong.bmp",        // nor is an overlong slash
    "cut \xe2\x82",                // a sequence cut off at the end
    "two\nlines\r.bmp",
    "csi \xc2\x9b.bmp",  // a C1 control, valid UTF-8
    "it's a \\ name $HOME `x`.bmp",
    "-starts-with-dash.bmp",
    "esc\x1b[2J.bmp",
};

TEST(NameText, Utf16KeepsEveryByteAndTellsNamesApart) {
  std::set<std::u16string> seen;
  for (const std::string& name : kNames) {
    SCOPED_TRACE(name);
    const std::u16string text = NameToUtf16(name);
    EXPECT_EQ(NameFromUtf16(text), name);
    EXPECT_TRUE(seen.insert(text).second);
  }
  // Every single byte, too.
  for (int b = 0; b < 256; ++b) {
    const std::string name(1, static_cast<char>(b));
    EXPECT_EQ(NameFromUtf16(NameToUtf16(name)), name) << b;
  }
  // The convention's units: one lone surrogate per invalid byte.
  EXPECT_EQ(NameToUtf16("bad\xff"), (std::u16string{u'b', u'a', u'd', char16_t{0xdcff}}));
}

TEST(NameText, TerminalTextHasNoControlsAndNoInvalidBytes) {
  const struct {
    std::string name, shown;
  } cases[] = {
      {"caf\xe9.bmp", "caf\\xe9.bmp"},
      {"bad\xff.bmp", "bad\\xff.bmp"},
      {"caf\xc3\xa9.bmp", "caf\xc3\xa9.bmp"},
      {"two\nlines\r.bmp", "two\\nlines\\r.bmp"},
      {"esc\x1b[2J.bmp", "esc\\x1b[2J.bmp"},
      {"cut \xe2\x82", "cut \\xe2\\x82"},
      {"csi\xc2\x9b"
       "2J.bmp",
       "csi\\xc2\\x9b"
       "2J.bmp"},
      {"nel\xc2\x85.bmp", "nel\\xc2\\x85.bmp"},
      {"del\x7f.bmp", "del\\x7f.bmp"},
      {"nbsp\xc2\xa0.bmp", "nbsp\xc2\xa0.bmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(TerminalName(c.name), c.shown);
}

// What bash makes of the word, read from a script as a user would paste it:
// the bytes it names.
std::string ShellGives(const std::string& word) {
  const std::string script = ::testing::TempDir() + "/shell_word.sh";
  {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(script.c_str(), "wb"), std::fclose);
    const std::string text = "printf %s " + word + "\n";
    std::fwrite(text.data(), 1, text.size(), file.get());
  }
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(("bash " + script).c_str(), "r"), ::pclose);
  std::string out;
  std::array<char, 256> buffer{};
  while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) out.append(buffer.data(), n);
  return out;
}

TEST(NameText, ShellWordGivesTheShellTheSameBytes) {
  for (const std::string& name : kNames) {
    SCOPED_TRACE(TerminalName(name));
    const std::string word = ShellWord(name);
    EXPECT_EQ(TerminalName(word), word) << "a word to copy holds nothing a terminal would act on";
    EXPECT_EQ(ShellGives(word), name);
  }
  EXPECT_EQ(ShellWord("plain.bmp"), "plain.bmp");
  EXPECT_EQ(ShellWord("my logo.bmp"), "'my logo.bmp'");
}

}  // namespace
}  // namespace kws
