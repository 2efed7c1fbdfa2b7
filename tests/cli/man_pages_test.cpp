// The manual pages made from the command table: a page for every command
// with each of its options and the keys of its JSON document, the receivers
// on the program's own page; and the keys the pages list are the keys the
// commands write.
#include "cli/man_pages.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "format/pipeline_files.h"
#include "format/receiver_models.h"
#include "support/test_support.h"

namespace kws {
namespace {

using cli::CommandSpec;

// A name as a page prints it: its hyphens escaped.
std::string Roffed(std::string_view text) {
  std::string out;
  for (const char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

bool Has(const std::string& page, const std::string& text) { return page.find(text) != std::string::npos; }

TEST(ManPages, EveryCommandHasAPageWithEachOptionAndJsonKey) {
  for (const CommandSpec& c : cli::Commands()) {
    SCOPED_TRACE(std::string(c.name));
    const std::string page = cli::CommandManPage(c, "9.8.7");
    const std::string name = "kestro-welcome-cli-" + std::string(c.name);
    EXPECT_EQ(cli::CommandPageName(c), name);
    std::string title = name;
    for (char& ch : title) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(page.rfind(".TH " + title + " \"1\" \"\" \"kestro-welcome-cli 9.8.7\"", 0), 0u) << page;
    EXPECT_TRUE(Has(page, ".SH NAME\n" + Roffed(name) + " \\- ")) << page;
    EXPECT_TRUE(Has(page, "\\fB" + std::string(c.name) + "\\fR")) << page;
    std::vector<cli::OptionSpec> options = c.options;
    options.insert(options.end(), cli::kGlobalOptions.begin(), cli::kGlobalOptions.end());
    for (const cli::OptionSpec& o : options) {
      EXPECT_TRUE(Has(page, ".TP\n") && Has(page, "\\fB" + Roffed(o.name) + "\\fR")) << o.name;
    }
    const std::vector<cli::JsonKeySpec>& keys = cli::JsonKeys(c);
    ASSERT_FALSE(keys.empty());
    for (const cli::JsonKeySpec& k : keys) EXPECT_TRUE(Has(page, ".TP\n\\fB" + Roffed(k.key) + "\\fR\n")) << k.key;
    EXPECT_TRUE(Has(page, ".SH EXAMPLE\n.nf\n" + Roffed(c.example) + "\n")) << page;
  }
}

TEST(ManPages, TheProgramsPageNamesTheReceiversAndTheCommandPages) {
  const std::string include = cli::ProgramPageInclude();
  for (const UsbModel& model : kUsbModels) {
    SCOPED_TRACE(model.receiver);
    EXPECT_TRUE(Has(include, "\\fB" + std::string(model.receiver) + "\\fR")) << include;
    for (const char* kind : files::kOutputKinds) {
      EXPECT_TRUE(Has(include, Roffed(files::OutputImageName("NAME", model, kind)))) << include;
    }
    EXPECT_TRUE(Has(include, "serial model name \\fB" + std::string(model.serial_model) + "\\fR")) << include;
  }
  for (const CommandSpec& c : cli::Commands()) {
    EXPECT_TRUE(Has(include, ".BR " + cli::CommandPageName(c) + " (1)")) << c.name;
  }
}

// The keys of a JSON document: "a.b" for an object's, "a[].b" for those of
// the objects in an array.
void CollectKeys(const QJsonObject& object, const std::string& prefix, std::set<std::string>& keys) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    const std::string key = prefix + it.key().toStdString();
    keys.insert(key);
    if (it->isObject()) CollectKeys(it->toObject(), key + ".", keys);
    if (!it->isArray()) continue;
    for (const QJsonValue& element : it->toArray()) {
      if (element.isObject()) CollectKeys(element.toObject(), key + "[].", keys);
    }
  }
}

class ManPagesJsonTest : public test::ScratchDirTest {
 protected:
  // The keys of the document the command line writes with --json.
  std::set<std::string> KeysOf(std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", Path("home"), "--json"});
    std::ostringstream out, err;
    RunCli(args, out, err);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out.str()), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out.str();
    std::set<std::string> keys;
    CollectKeys(doc.object(), "", keys);
    return keys;
  }
};

// Runs each command so that every key of its document shows (made and
// failed, sound and not): the keys written are the keys the page lists.
TEST_F(ManPagesJsonTest, ThePagesListTheKeysTheCommandsWrite) {
  std::ostringstream out, err;
  ASSERT_EQ(RunCli({"sample", Path("logo.bmp")}, out, err), 0);
  test::WriteBytes(Path("broken.bmp"), test::ToBytes("BM not a bitmap"));
  ASSERT_EQ(RunCli({"--home", Path("home"), "make", Path("logo.bmp")}, out, err), 0);
  std::filesystem::create_directories(Path("home/Input/folder.bmp"));
  std::filesystem::copy_file(Path("logo.bmp"), Path("home/Input/logo.bmp"));
  const std::string image = Path("home/Output/logo_borvik200_usb_welcome.img");
  // Commands that write the same document are run together.
  const struct {
    std::vector<std::string> commands;
    std::vector<std::vector<std::string>> runs;
  } cases[] = {
      {{"make", "run"}, {{"make", Path("logo.bmp"), Path("broken.bmp")}, {"run"}}},
      {{"inspect"}, {{"inspect", image, Path("logo.bmp")}}},
      {{"import"},
       {{"import", Path("logo.bmp"), Path("out.bmp"), "--caption", "v1"}, {"import", Path("x.png"), "o.bmp"}}},
      {{"preview", "sample", "step"},
       {{"preview", Path("logo.bmp"), Path("out.png")},
        {"sample", Path("no-folder/sample.bmp")},
        {"step", "gzip_f9", Path("logo.bmp"), Path("logo.gz")}}},
  };
  size_t commands = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commands.front());
    std::set<std::string> written;
    for (const auto& args : c.runs) written.merge(KeysOf(args));
    for (const std::string& name : c.commands) {
      const CommandSpec* command = cli::FindCommand(name);
      ASSERT_NE(command, nullptr);
      std::set<std::string> listed;
      for (const cli::JsonKeySpec& k : cli::JsonKeys(*command)) listed.insert(std::string(k.key));
      EXPECT_EQ(written, listed) << name;
      ++commands;
    }
  }
  EXPECT_EQ(commands, cli::Commands().size());
}

}  // namespace
}  // namespace kws
