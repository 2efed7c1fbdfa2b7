#include "cli/cli.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>

#include "cli/invocation.h"
#include "fileio/destination.h"
#include "fileio/name_text.h"
#include "fit/bitmap_file.h"
#include "steps/steps.h"
#include "support/cli_run.h"
#include "support/model_vectors.h"
#include "support/named_pipe.h"
#include "support/photo_like.h"
#include "support/refused_bitmaps.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::WriteBytes;

class CliTest : public test::CliRunTest {
 protected:
  size_t OutputCount() const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(Home("Output"))) ++n;
    return n;
  }
  std::string LastLine() const {
    std::string text = out_.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.rfind('\n') + 1);
  }
};

TEST_F(CliTest, UsageErrorsExitTwoWithAReason) {
  const struct {
    std::vector<std::string> args;
    std::string reason;  // stderr's first line after "kestro-welcome-cli: "
  } cases[] = {
      {{}, "no command given"},
      {{"frobnicate"}, "unknown command \"frobnicate\""},
      {{"--bogus", "run"}, "unknown option --bogus"},
      {{"--home"}, "--home needs DIR"},
      {{"make"}, "usage: kestro-welcome-cli make PICTURE..."},
      {{"make", "a.bmp", "--verbose", "--quiet"}, "--verbose and --quiet exclude each other"},
      {{"make", "a.bmp", "--extract", "x.bmp"}, "unknown option --extract for make"},
      {{"run", "--home"}, "--home needs DIR"},
      {{"run", "extra"}, "usage: kestro-welcome-cli run"},
      {{"step"}, "usage: kestro-welcome-cli step NAME ARG..."},
      {{"step", "nosuchstep", "a"}, "unknown step \"nosuchstep\"; the steps are listed by 'step --help'"},
      {{"step", "rawconv", "onlyone"}, "usage: kestro-welcome-cli step rawconv IN OUT"},
      {{"step", "appendbin", "12abc", "in", "out"},
       "appendbin SIZE must be a number from 0 to 0xFFFFFFFF, not \"12abc\""},
      {{"step", "appendbin", "0x100000000", "in", "out"},
       "appendbin SIZE must be a number from 0 to 0xFFFFFFFF, not \"0x100000000\""},
      // A negative size reaches the size's check only after "--"; before it,
      // "-5" is an option.
      {{"step", "appendbin", "--", "-5", "in", "out"},
       "appendbin SIZE must be a number from 0 to 0xFFFFFFFF, not \"-5\""},
      {{"step", "appendbin", "-5", "in", "out"}, "unknown option -5 for step"},
      {{"inspect"}, "usage: kestro-welcome-cli inspect FILE..."},
      {{"inspect", "--bogus", "a.img"}, "unknown option --bogus for inspect"},
      {{"inspect", "a.img", "--extract"}, "--extract needs OUT.bmp"},
      {{"inspect", "a.img", "b.img", "--extract", "out.bmp"},
       "usage: kestro-welcome-cli inspect FILE --extract OUT.bmp"},
      {{"inspect", "a.img", "--extract", "1.bmp", "--extract", "2.bmp"}, "--extract is given twice"},
      {{"inspect", "a.img", "--force"}, "--force goes with --extract OUT.bmp"},
      {{"import"}, "usage: kestro-welcome-cli import PICTURE OUT.bmp"},
      {{"import", "a.png"}, "usage: kestro-welcome-cli import PICTURE OUT.bmp"},
      {{"import", "a.png", "b.bmp", "c.bmp"}, "usage: kestro-welcome-cli import PICTURE OUT.bmp"},
      {{"import", "a.png", "b.bmp", "--background"}, "--background needs COLOR"},
      {{"import", "a.png", "b.bmp", "--background", "not-a-colour"},
       "--background takes #rrggbb or a colour name, not \"not-a-colour\""},
      {{"import", "a.png", "b.bmp", "--background=#12"}, "--background takes #rrggbb or a colour name, not \"#12\""},
      {{"import", "a.png", "b.bmp", "--crop"}, "unknown option --crop for import"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(Run(c.args), 2);
    EXPECT_EQ(err_.str().rfind("kestro-welcome-cli: ", 0), 0u);
    EXPECT_EQ(err_.str().substr(0, err_.str().find('\n')), "kestro-welcome-cli: " + c.reason);
    EXPECT_NE(err_.str().find("--help"), std::string::npos);
  }
}

TEST_F(CliTest, HelpAndVersion) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.str().find("make PICTURE"), std::string::npos);
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out_.str(), "kestro-welcome-cli 1.0.0.85\n");
}

// Names that begin with "-" are taken as names after "--".
TEST_F(CliTest, DoubleDashEndsTheOptions) {
  WriteBytes("-logo.bmp", test::MakeBitmap());
  const struct {
    std::vector<std::string> args;
    int code;
    std::string made;
  } cases[] = {
      {{"--home", Home(), "make", "--", "-logo.bmp"}, 0, Home("Output/-logo_borvik200_usb_welcome.img")},
      {{"--home", Home(), "--", "make", "-logo.bmp"}, 0, Home("Output/-logo_kestro300_serial_welcome.img")},
      {{"import", "--", "-logo.bmp", "-copy.bmp"}, 0, "-copy.bmp"},
      {{"inspect", Home("Output/-logo_borvik200_usb_welcome.img"), "--extract", "--", "-back.bmp"}, 2, ""},
      {{"inspect", "--", "-logo_borvik200_usb_welcome.img"}, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[2]);
    EXPECT_EQ(Run(c.args), c.code) << err_.str();
    if (!c.made.empty()) {
      EXPECT_TRUE(fs::exists(c.made));
    }
  }
  EXPECT_NE(err_.str().find("-logo_borvik200_usb_welcome.img: cannot be read: Cannot open file "
                            "-logo_borvik200_usb_welcome.img: No such file"),
            std::string::npos)
      << err_.str();
}

TEST_F(CliTest, MakeConvertsOnePictureAndPrintsTheLogThenTheStatus) {
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  // By default: one line for the picture and a summary.
  ASSERT_EQ(Run({"--home", Home(), "make", "logo.bmp"}), 0) << err_.str();
  EXPECT_EQ(OutputCount(), test::kImagesPerPicture);
  EXPECT_EQ(out_.str(), "logo.bmp: 6 images in " + Home("Output") +
                            "\n1 of 1 picture made; log: " + Home("Log/KestroWelcomeScreen.log") + "\n");
  EXPECT_EQ(err_.str(), "");
  // With --verbose, every log entry as it is written, the banner first, and the final status.
  ASSERT_EQ(Run({"--home", Home(), "make", "logo.bmp", "-v"}), 0) << err_.str();
  EXPECT_EQ(out_.str().rfind("Kestro Welcome Screen   [Build 1.0.0.85]   by tallowfinch\n", 0), 0u);
  EXPECT_NE(out_.str().find("convbmp: Ret=0, In=" + Path("logo.bmp") + ", Out="), std::string::npos);
  EXPECT_NE(out_.str().find("\ndone! see log for details...\nlogo.bmp: 6 images in "), std::string::npos);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliTest, MakeFailuresExitOneWithTheErrorOnStderr) {
  EXPECT_EQ(Run({"--home", Home(), "make", "missing.bmp"}), 1);
  EXPECT_EQ(err_.str(), "kestro-welcome-cli: no such picture: missing.bmp\n");

  test::BitmapRecipe deep;
  deep.bit_count = 24;
  WriteBytes(Path("deep.bmp"), test::MakeBitmap(deep));
  EXPECT_EQ(Run({"--home", Home(), "make", "deep.bmp"}), 1);
  EXPECT_EQ(LastLine(), "0 of 1 picture made, 1 failed; log: " + Home("Log/KestroWelcomeScreen.log"));
  // Each error once, on stderr, with the remedy.
  EXPECT_EQ(err_.str(),
            "deep.bmp: failed \u2014 bit depth 24, needs 8\n"
            "hint: import it into a 720 x 576, 8-bit bitmap that fits the receivers: "
            "kestro-welcome-cli import deep.bmp deep-fit.bmp\n");
  // The log's own line is there with --verbose.
  EXPECT_EQ(Run({"--home", Home(), "make", "deep.bmp", "--verbose"}), 1);
  EXPECT_NE(out_.str().find("ERROR: bitdepth > 8 not supported!\n"), std::string::npos);
  EXPECT_EQ(Run({"--home", Home(), "make", "deep.bmp", "--quiet"}), 1);
  EXPECT_EQ(out_.str(), "");
  EXPECT_NE(err_.str().find("deep.bmp: failed"), std::string::npos);
}

TEST_F(CliTest, RunProcessesTheInputFolder) {
  ASSERT_EQ(Run({"--home", Home(), "run"}), 0);
  EXPECT_EQ(LastLine().rfind("No pictures in " + Home("Input") + ": put 720 x 576, 8-bit bitmaps there", 0), 0u)
      << out_.str();
  WriteBytes(Home("Input/one.bmp"), test::MakeBitmap());
  WriteBytes(Home("Input/two.bmp"), test::ToBytes("not a picture"));
  EXPECT_EQ(Run({"--home=" + Home(), "run"}), 1);
  EXPECT_EQ(OutputCount(), test::kImagesPerPicture);
  EXPECT_EQ(out_.str(), "one.bmp: 6 images in " + Home("Output") +
                            "\n1 of 2 pictures made, 1 failed; log: " + Home("Log/KestroWelcomeScreen.log") + "\n");
  EXPECT_EQ(err_.str(), "two.bmp: failed \u2014 not a Windows bitmap, nor a picture of a kind the import reads\n");
  EXPECT_EQ(Run({"-v", "--home=" + Home(), "run"}), 1);
  EXPECT_NE(out_.str().find("MultiProcessing: Input file two.bmp"), std::string::npos);
  EXPECT_NE(out_.str().find("\nno more files to process! see log for details...\n"), std::string::npos);
}

TEST_F(CliTest, StepRunsOneStepOnFilesInTheCurrentFolder) {
  WriteBytes(Path("pic.bmp"), test::MakeBitmap());
  WriteBytes(Path("big.bin"), Bytes(300000, 0xA5));  // over any partition
  ASSERT_EQ(Run({"--home", Home(), "step", "convbmp", "pic.bmp", "ct", "raw"}), 0);
  EXPECT_EQ(LastLine(), "convbmp: Ret=0");
  EXPECT_TRUE(test::Exists(Path("ct")));
  // A failing step says what its code stands for, after its own log lines.
  const struct {
    std::vector<std::string> args;
    std::string err;
  } failures[] = {
      {{"step", "appendbin", "0x10", "ct", "padded"},
       "ERROR: appendbin(), input is too big!\nappendbin: Ret=-1: the input is too big or has the wrong size\n"},
      {{"step", "mkusbimg200", "big.bin", "out.img"},
       "ERROR: mkusimg200(), Input Size too big!\nmkusbimg200: Ret=-1: the input is too big or has the wrong "
       "size\n"},
      {{"step", "mkserialimg", "big.bin", "out.img", std::string(31, 'm')},
       "ERROR: mkserialimg(), Model Name is too long! Max length = 30\nmkserialimg: Ret=-1: the input is too big or "
       "has the wrong size, or the model name is too long\n"},
      {{"step", "gzip_f9", "missing", "out"},
       "gzip_f9: Ret=1: the source cannot be opened (missing, locked or unreadable)\n"},
      {{"step", "convbmp", "pic.bmp", "pic.bmp", "raw"},
       "ERROR: convbmp(), Msg=output pic.bmp is the same file as input pic.bmp; nothing was changed\n"
       "convbmp: Ret=-99: a failure was caught; the error line above says which\n"},
  };
  for (const auto& f : failures) {
    std::vector<std::string> args = {"--home", Home()};
    args.insert(args.end(), f.args.begin(), f.args.end());
    EXPECT_EQ(Run(args), 1);
    EXPECT_EQ(err_.str(), f.err);
    EXPECT_EQ(out_.str(), "");
  }
  ASSERT_EQ(Run({"--home", Home(), "step", "appendbin", "1024", "ct", "padded"}), 0);
  EXPECT_EQ(fs::file_size(Path("padded")), 1024u);
}

// Options before or after the command, per-command help, several pictures.
TEST_F(CliTest, ArgumentsAsPeopleTypeThem) {
  WriteBytes(Path("a.bmp"), test::MakeBitmap());
  WriteBytes(Path("b.bmp"), test::MakeBitmap({.seed = 2}));
  const struct {
    std::vector<std::string> args;
    int code;
    std::string out_has;  // empty: nothing on stdout
  } cases[] = {
      {{"make", "a.bmp", "b.bmp", "--home", Home()}, 0, "2 of 2 pictures made; log: "},
      {{"-q", "--home", Home(), "make", "a.bmp"}, 0, ""},
      {{"make", "--quiet", "a.bmp", "--home=" + Home()}, 0, ""},
      {{"make", "--help"}, 0, "Usage: kestro-welcome-cli make PICTURE...\n"},
      {{"help-me", "--help"}, 2, ""},
      {{"step", "-h"}, 0, "the receivers' serial model names are kestro100s, QuorvatelMurraTwin8M, kestro400"},
      {{"step", "--help"}, 0, "the receivers' partitions take 0x30000, 0x2C000"},
      {{"--help"}, 0, "  make PICTURE...         turn 720 x 576, 8-bit bitmaps into the six update images each\n"},
      {{"-v", "--version"}, 0, "Kestro Welcome Screen   [Build 1.0.0.85]   by tallowfinch\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(Run(c.args), c.code) << err_.str();
    if (c.out_has.empty()) {
      EXPECT_EQ(out_.str(), "");
    } else {
      EXPECT_NE(out_.str().find(c.out_has), std::string::npos) << out_.str();
    }
  }
}

TEST_F(CliTest, MakeOfSeveralPicturesGoesOnPastAFailure) {
  test::BitmapRecipe rle;
  rle.compression = 1;
  WriteBytes(Path("a.bmp"), test::MakeBitmap());
  WriteBytes(Path("rle.bmp"), test::MakeBitmap(rle));
  WriteBytes(Path("c.bmp"), test::MakeBitmap({.seed = 3}));
  EXPECT_EQ(Run({"--home", Home(), "make", "a.bmp", "rle.bmp", "c.bmp"}), 1);
  EXPECT_EQ(OutputCount(), 2 * test::kImagesPerPicture);
  EXPECT_EQ(out_.str(), "a.bmp: 6 images in " + Home("Output") + "\nc.bmp: 6 images in " + Home("Output") +
                            "\n2 of 3 pictures made, 1 failed; log: " + Home("Log/KestroWelcomeScreen.log") + "\n");
  EXPECT_EQ(err_.str().rfind("rle.bmp: failed \u2014 a compressed (RLE) bitmap, needs an uncompressed one\n", 0), 0u)
      << err_.str();
}

// Every kind of rejection says what is wrong in plain words and the command that fixes it.
TEST_F(CliTest, RejectionsPointToTheRemedy) {
  const auto recipe = [](auto change) {
    test::BitmapRecipe r;
    change(r);
    return test::MakeBitmap(r);
  };
  Picture8 noise;
  noise.palette.resize(256);
  for (size_t i = 0; i < 256; ++i) noise.palette[i] = Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
  noise.pixels.resize(kPictureBytes);
  uint32_t state = 12345;
  for (auto& p : noise.pixels) p = static_cast<uint8_t>((state = state * 1103515245 + 12345) >> 16);
  QImage png(64, 48, QImage::Format_RGB32);
  png.fill(Qt::red);
  ASSERT_TRUE(png.save(QString::fromStdString(Path("photo.png")), "PNG"));

  const struct {
    std::string name;
    test::Bytes bytes;
    std::string plain;
    std::string hint;
  } cases[] = {
      {"deep.bmp", recipe([](auto& r) { r.bit_count = 24; }), "bit depth 24, needs 8", "import deep.bmp deep-fit.bmp"},
      {"four.bmp", recipe([](auto& r) { r.bit_count = 4; }), "bit depth 4, needs 8", "import four.bmp four-fit.bmp"},
      {"rle.bmp", recipe([](auto& r) { r.compression = 1; }), "a compressed (RLE) bitmap, needs an uncompressed one",
       "import rle.bmp rle-fit.bmp"},
      {"small.bmp", recipe([](auto& r) { r.width = 640, r.height = 480, r.pixel_rows = 480, r.row_bytes = 640; }),
       "640 x 480 pixels, needs 720 x 576", "import small.bmp small-fit.bmp"},
      {"topdown.bmp", recipe([](auto& r) { r.height = -576; }),
       "stored top row first (height -576), needs the usual bottom-up order", "import topdown.bmp topdown-fit.bmp"},
      {"photo.png", {}, "it is a PNG picture, not a Windows bitmap", "import photo.png photo.bmp"},
      {"noise.bmp", EncodeBitmap8(noise),
       "too detailed for the receivers: its colour table and compressed picture take ",
       "import noise.bmp noise-fit.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.bytes.empty()) WriteBytes(Path(c.name), c.bytes);
    EXPECT_EQ(Run({"--home", Home(), "make", c.name}), 1);
    EXPECT_EQ(err_.str().rfind(c.name + ": failed \u2014 " + c.plain, 0), 0u) << err_.str();
    EXPECT_NE(err_.str().find("\nhint: "), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("kestro-welcome-cli " + c.hint + "\n"), std::string::npos) << err_.str();
  }
  EXPECT_NE(err_.str().find("and the welcome image holds at most 180,208\n"), std::string::npos) << err_.str();
}

// Each refused bitmap's reason, in words and in JSON, names what the log's
// first error line names; JSON's error is that very line.
TEST_F(CliTest, ReasonsNameTheRuleTheLogNames) {
  for (const test::RefusedBitmap& c : test::RefusedBitmaps()) {
    SCOPED_TRACE(c.name);
    if (!c.bytes.empty()) WriteBytes(Path(c.name), c.bytes);
    // A second picture, so that a missing first one reaches the pipeline.
    const std::vector<std::string> pictures = {c.name, "other.bmp"};
    WriteBytes(Path("other.bmp"), test::MakeBitmap());
    fs::remove(Home("Log/KestroWelcomeScreen.log"));

    ASSERT_EQ(Run({"--home", Home(), "make", pictures[0], pictures[1], "--json"}), 1);
    const QJsonObject failed =
        QJsonDocument::fromJson(QByteArray::fromStdString(out_.str())).object()["pictures"].toArray()[0].toObject();
    const std::string logged = failed["error"].toString().toStdString();
    const test::Bytes log_bytes = test::ReadBytes(Home("Log/KestroWelcomeScreen.log"));
    const std::string log(log_bytes.begin(), log_bytes.end());
    const size_t first_error = log.find("ERROR: ");
    ASSERT_NE(first_error, std::string::npos) << log;
    EXPECT_EQ(log.substr(first_error, log.find('\r', first_error) - first_error), logged);
    EXPECT_EQ(logged.rfind(c.logged, 0), 0u) << logged;
    EXPECT_NE(failed["reason"].toString().toStdString().find(c.reason), std::string::npos)
        << failed["reason"].toString().toStdString();

    ASSERT_EQ(Run({"--home", Home(), "make", pictures[0], pictures[1]}), 1);
    EXPECT_EQ(err_.str().rfind(c.name + ": failed \u2014 ", 0), 0u) << err_.str();
    EXPECT_NE(err_.str().substr(0, err_.str().find('\n')).find(c.reason), std::string::npos) << err_.str();
    fs::remove(Path(c.name));
  }
}

// run takes *.bmp only; a picture of another kind in Input is named with
// the import that makes a bitmap of it, and the log stays as it is.
TEST_F(CliTest, RunNamesPicturesOfOtherKindsInInput) {
  ASSERT_EQ(Run({"--home", Home(), "run"}), 0);
  WriteBytes(Home("Input/logo.bmp"), test::MakeBitmap());
  QImage png(64, 48, QImage::Format_RGB32);
  png.fill(Qt::red);
  ASSERT_TRUE(png.save(QString::fromStdString(Home("Input/holiday.png")), "PNG"));
  WriteBytes(Home("Input/notes.txt"), test::ToBytes("not a picture"));
  const test::Bytes log_before = test::ReadBytes(Home("Log/KestroWelcomeScreen.log"));

  EXPECT_EQ(Run({"--home", Home(), "run"}), 0);
  EXPECT_EQ(err_.str(),
            "holiday.png: not converted \u2014 it is a PNG picture, and run takes *.bmp only\n"
            "hint: import it into a 720 x 576, 8-bit bitmap that fits the receivers: "
            "kestro-welcome-cli import " +
                Home("Input/holiday.png") + " " + Home("Input/holiday.bmp") + "\n");
  const test::Bytes log_after = test::ReadBytes(Home("Log/KestroWelcomeScreen.log"));
  const std::string added(log_after.begin() + static_cast<std::ptrdiff_t>(log_before.size()), log_after.end());
  EXPECT_EQ(added.find("holiday"), std::string::npos) << added;

  EXPECT_EQ(Run({"--home", Home(), "run", "--json"}), 0);
  const QJsonArray others =
      QJsonDocument::fromJson(QByteArray::fromStdString(out_.str())).object()["other_pictures"].toArray();
  ASSERT_EQ(others.size(), 1);
  EXPECT_EQ(others[0].toObject()["kind"].toString(), "a PNG picture");
}

// An option the command does not declare is a mistake in the program: its
// lookup throws instead of quietly answering no.
TEST_F(CliTest, LookingUpAnUndeclaredOptionFailsLoudly) {
  std::ostringstream out, err;
  const cli::Invocation inv = cli::Parse({"make", "a.bmp", "--verbose"}, out, err);
  EXPECT_TRUE(inv.Has(cli::option::kVerbose));
  EXPECT_FALSE(inv.Has(cli::option::kJson));
  EXPECT_THROW(inv.Has(cli::option::kForce), std::logic_error);
  EXPECT_THROW(inv.Value("--backgrund"), std::logic_error);
}

// The command table says which commands work in the working folders; the
// others leave no trace of them.
TEST_F(CliTest, OnlyTheCommandsThatUseTheWorkingFoldersMakeThem) {
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  const struct {
    std::vector<std::string> args;
    bool folders;
  } cases[] = {
      {{"sample", "s.bmp"}, false}, {{"preview", "logo.bmp", "p.png"}, false}, {{"inspect", "logo.bmp"}, false},
      {{"make", "logo.bmp"}, true}, {{"import", "logo.bmp", "i.bmp"}, true},   {{"step", "rawconv", "a", "b"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    fs::remove_all(Home());
    std::vector<std::string> args = {"--home", Home()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Run(args);
    EXPECT_EQ(fs::exists(Home("Log/KestroWelcomeScreen.log")), c.folders) << err_.str();
  }
}

TEST_F(CliTest, MakeReportsAsJson) {
  WriteBytes(Path("good.bmp"), test::MakeBitmap());
  test::BitmapRecipe deep;
  deep.bit_count = 24;
  WriteBytes(Path("deep.bmp"), test::MakeBitmap(deep));
  EXPECT_EQ(Run({"make", "good.bmp", "deep.bmp", "--json", "--home", Home()}), 1);
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out_.str()), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << out_.str();
  const QJsonObject root = doc.object();
  EXPECT_EQ(root["made"].toInt(), 1);
  EXPECT_EQ(root["failed"].toInt(), 1);
  EXPECT_EQ(root["exit_code"].toInt(), 1);
  const QJsonArray pictures = root["pictures"].toArray();
  ASSERT_EQ(pictures.size(), 2);
  const QJsonObject good = pictures[0].toObject();
  EXPECT_EQ(good["result"].toInt(), 0);
  EXPECT_TRUE(good["error"].isNull());
  const QJsonArray outputs = good["outputs"].toArray();
  ASSERT_EQ(static_cast<size_t>(outputs.size()), test::kImagesPerPicture);
  for (const QJsonValue& value : outputs) {
    const QJsonObject o = value.toObject();
    const std::string path = o["path"].toString().toStdString();
    const auto bytes = test::ReadBytes(path);
    EXPECT_EQ(o["size"].toInteger(), static_cast<qint64>(bytes.size()));
    const QByteArray sha = QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                               static_cast<qsizetype>(bytes.size())),
                                                    QCryptographicHash::Sha256)
                               .toHex();
    EXPECT_EQ(o["sha256"].toString().toStdString(), sha.toStdString());
    EXPECT_NE(path.find("_" + o["model"].toString().toStdString() + "_" + o["kind"].toString().toStdString() + "_"),
              std::string::npos);
  }
  const QJsonObject failed = pictures[1].toObject();
  EXPECT_EQ(failed["result"].toInt(), -11);
  EXPECT_EQ(failed["error"].toString(), "ERROR: bitdepth > 8 not supported!");
  EXPECT_EQ(failed["reason"].toString(), "bit depth 24, needs 8");
  EXPECT_TRUE(failed["outputs"].toArray().isEmpty());
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliTest, ImportWritesABitmapThatMakeTakes) {
  QImage logo(320, 200, QImage::Format_RGB32);
  logo.fill(QColor(200, 40, 40));
  ASSERT_TRUE(logo.save(QString::fromStdString(Path("logo.png"))));
  const std::vector<std::vector<std::string>> option_sets = {
      {}, {"--background", "#336699"}, {"--background=navy", "--fill"}, {"--fill", "--no-fit"}};
  for (const auto& options : option_sets) {
    SCOPED_TRACE(testing::PrintToString(options));
    // Each import writes anew: a replaced bitmap would be said on stderr.
    fs::remove(Path("logo.bmp"));
    std::vector<std::string> args = {"import", "logo.png", "logo.bmp"};
    args.insert(args.end(), options.begin(), options.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    EXPECT_EQ(out_.str().rfind("Picture: 320 x 200, scaled to ", 0), 0u) << out_.str();
    EXPECT_NE(out_.str().find(", no dithering, no smoothing\nSize:    "), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("\nPSNR:    lossless against the scaled picture\n"), std::string::npos);
    EXPECT_EQ(LastLine(), "Written: logo.bmp");
    EXPECT_EQ(err_.str(), "");
  }
  ASSERT_EQ(Run({"--home", Home(), "make", "logo.bmp"}), 0) << err_.str();
  EXPECT_EQ(OutputCount(), test::kImagesPerPicture);
}

TEST_F(CliTest, ImportWithoutFittingWarnsOfAPictureTooBig) {
  ASSERT_TRUE(MakePhotoLike().save(QString::fromStdString(Path("photo.png"))));
  ASSERT_EQ(Run({"import", "photo.png", "photo.bmp", "--no-fit"}), 0);
  EXPECT_NE(out_.str().find(" over: too big for the receivers"), std::string::npos) << out_.str();
  EXPECT_EQ(err_.str(),
            "kestro-welcome-cli: warning: photo.bmp is too big for the receivers; import it without --no-fit\n");
  EXPECT_TRUE(ReadConvertibleBitmap(Path("photo.bmp")));
}

// --dither: the kind asked for is the kind chosen, fitted or not, said in
// the report's line and in JSON beside the share dithered.
TEST_F(CliTest, ImportTakesTheDitheringAskedFor) {
  ASSERT_TRUE(MakePhotoLike().save(QString::fromStdString(Path("photo.png"))));
  const struct {
    std::vector<std::string> options;
    const char* kind;    // dither_kind, or nothing for any
    const char* reason;  // the report's line
  } cases[] = {
      {{"--dither", "none"}, "none", "Dither:  no dithering: as asked\n"},
      {{"--dither=selective"}, "selective", "Dither:  selective dithering: as asked\n"},
      {{"--dither", "none", "--no-fit"}, "none", "Dither:  no dithering: as asked\n"},
      {{"--dither", "selective", "--no-fit"}, "selective", "Dither:  selective dithering: as asked\n"},
      {{"--dither", "seen", "--no-fit"}, "full", "Dither:  full dithering: closest as seen\n"},
      {{}, nullptr, ": closest as seen without losing plain PSNR\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> args = {"import", "photo.png", "photo.bmp", "--force"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    EXPECT_NE(out_.str().find(c.reason), std::string::npos) << out_.str();
    args.push_back("--json");
    ASSERT_EQ(Run(args), 0) << err_.str();
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(out_.str())).object();
    const QString kind = o["dither_kind"].toString();
    if (c.kind) {
      EXPECT_EQ(kind.toStdString(), c.kind);
    }
    EXPECT_TRUE(kind == "none" || kind == "selective" || kind == "full") << kind.toStdString();
    EXPECT_EQ(o["dithering"].toDouble() == 0, kind == "none");
  }
}

TEST_F(CliTest, ImportFailuresExitOneWithTheReason) {
  EXPECT_EQ(Run({"import", "missing.png", "out.bmp"}), 1);
  EXPECT_EQ(err_.str(), "kestro-welcome-cli: Cannot read missing.png as a picture: File not found\n");
  EXPECT_EQ(out_.str(), "");

  ASSERT_EQ(Run({"sample", Path("sample.bmp")}), 0);
  EXPECT_EQ(Run({"import", "sample.bmp", "no-folder/out.bmp"}), 1);
  EXPECT_EQ(err_.str().rfind("kestro-welcome-cli: cannot write no-folder/out.bmp: ", 0), 0u) << err_.str();
  EXPECT_FALSE(test::Exists(Path("no-folder")));
}

// A named pipe called like a picture or an image once kept every command
// waiting for a writer; a device, such as one that never ends, is no
// better. Each is refused at once, saying what it is.
TEST_F(CliTest, InputsThatAreNoRegularFilesAreRefusedAtOnce) {
  test::NamedPipe pipe(Path("pipe.bmp"));
  ASSERT_TRUE(pipe.made());
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {"make", {"--home", Home(), "make", pipe.path()}, "is not a regular file but a named pipe"},
      {"inspect", {"inspect", pipe.path()}, "is not a regular file but a named pipe"},
      {"import",
       {"import", pipe.path(), Path("out.bmp")},
       "Cannot read " + pipe.path() + " as a picture: it is not a regular file but a named pipe\n"},
      {"import of a device",
       {"import", "/dev/zero", Path("out.bmp")},
       "Cannot read /dev/zero as a picture: it is not a regular file but a character device\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Run(c.args), 1);
    EXPECT_NE(err_.str().find(c.says), std::string::npos) << err_.str();
    EXPECT_FALSE(test::Exists(Path("out.bmp")));
  }
  EXPECT_EQ(fs::exists(Home("Output")) ? OutputCount() : 0, 0u);
  EXPECT_FALSE(pipe.ReleasedAHungReader());
}

// Any bytes make a file name: one that is not UTF-8 and one with a line
// break, a tab and markup are imported, and the bitmaps made into images,
// through the preview's check. Messages show the control characters escaped.
TEST_F(CliTest, NamesOfAnyBytesWorkEndToEnd) {
  QImage logo(320, 200, QImage::Format_RGB32);
  logo.fill(QColor(40, 90, 200));
  ASSERT_TRUE(logo.save(QString::fromStdString(Path("logo.png"))));
  for (const std::string name : {"caf\xe9", "two\nlines\tand <b>markup<b>"}) {
    SCOPED_TRACE(testing::PrintToString(name));
    const std::string picture = Path(name + ".png");
    const std::string bitmap = Path(name + ".bmp");
    fs::copy_file(Path("logo.png"), picture);
    ASSERT_EQ(Run({"import", picture, bitmap}), 0) << err_.str();
    EXPECT_TRUE(ReadConvertibleBitmap(bitmap));
    fs::remove_all(Home("Output"));
    ASSERT_EQ(Run({"--home", Home(), "make", bitmap}), 0) << err_.str();
    EXPECT_EQ(OutputCount(), test::kImagesPerPicture);
    EXPECT_TRUE(test::Exists(Home("Output/" + name + "_kestro300_usb_welcome.img")));
  }
  EXPECT_EQ(Run({"import", Path("gone\n\x1b[2J.png"), Path("out.bmp")}), 1);
  EXPECT_EQ(err_.str(),
            "kestro-welcome-cli: Cannot read " + Path("gone\\n\\x1b[2J.png") + " as a picture: File not found\n");
}

// A name is carried byte for byte: JSON keeps bytes that are not UTF-8 as
// "\udcXX" (two names one byte apart stay two names), the terminal shows them
// escaped, and a hint's command names the very file, wherever it lies.
TEST_F(CliTest, NamesAreDataInJsonOnTheTerminalAndInHints) {
  test::BitmapRecipe deep;
  deep.bit_count = 24;
  const test::Bytes bitmap = test::MakeBitmap(deep);
  for (const char* name : {"bad\xff.bmp", "bad\xfe.bmp", "-dash.bmp", "two\nlines.bmp"}) WriteBytes(name, bitmap);

  EXPECT_EQ(Run({"--home", Home(), "--json", "make", "bad\xff.bmp", "bad\xfe.bmp"}), 1);
  const QJsonArray pictures = QJsonDocument::fromJson(QByteArray::fromStdString(out_.str()))["pictures"].toArray();
  ASSERT_EQ(pictures.size(), 2);
  EXPECT_EQ(NameFromUtf16(pictures[0]["picture"].toString().toStdU16String()), Path("bad\xff.bmp"));
  EXPECT_EQ(NameFromUtf16(pictures[1]["picture"].toString().toStdU16String()), Path("bad\xfe.bmp"));
  EXPECT_NE(out_.str().find("bad\\udcff.bmp"), std::string::npos) << out_.str();

  const struct {
    std::vector<std::string> args;
    std::string shown;  // how stderr names the picture
    std::string hint;   // the hint's command
  } cases[] = {
      {{"make", "bad\xff.bmp"}, "bad\\xff.bmp: failed", "import $'bad\\xff.bmp' $'bad\\xff-fit.bmp'\n"},
      {{"make", "--", "-dash.bmp"}, "-dash.bmp: failed", "import -- -dash.bmp -dash-fit.bmp\n"},
      {{"make", "two\nlines.bmp"}, "two\\nlines.bmp: failed", "import $'two\\nlines.bmp' $'two\\nlines-fit.bmp'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    std::vector<std::string> args = {"--home", Home()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(Run(args), 1);
    EXPECT_NE(err_.str().find(c.shown), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("kestro-welcome-cli " + c.hint), std::string::npos) << err_.str();
    EXPECT_EQ(err_.str().find('\xff'), std::string::npos) << "a raw byte reached the terminal";
  }

  // run: the hint names the picture in Input, not in the current folder.
  fs::remove_all(Home("Input"));
  fs::create_directories(Home("Input"));
  WriteBytes(Home("Input/deep.bmp"), bitmap);
  EXPECT_EQ(Run({"--home", Home(), "run"}), 1);
  EXPECT_NE(err_.str().find("kestro-welcome-cli import " + Home("Input/deep.bmp") + " " + Home("Input/deep-fit.bmp")),
            std::string::npos)
      << err_.str();
}

// A reader's complaint reaches stderr once, in the program's words, and
// nothing of it raw (Qt's own handler stands for the process's stderr).
TEST_F(CliTest, ReadersWarningsAreSaidOnceInOurWords) {
  QImage logo(64, 48, QImage::Format_RGB32);
  logo.fill(QColor(10, 120, 60));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(logo.save(&buffer, "PNG"));
  // An ancillary chunk with a wrong CRC after the header: libpng warns, and reads on.
  png.insert(33, QByteArrayLiteral("\0\0\0\x0atEXtComment\0hi\xde\xad\xbe\xef"));
  const struct {
    const char* name;
    QByteArray bytes;
    const char* said;  // the reader's words inside our warning
  } cases[] = {
      {"crc.png", png, "libpng warning: tEXt: CRC error"},
  };
  static std::vector<std::string> raw;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(c.name, test::Bytes(c.bytes.begin(), c.bytes.end()));
    raw.clear();
    const QtMessageHandler before = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { raw.push_back(message.toStdString()); });
    const int code = Run({"--home", Home(), "import", c.name, "out.bmp", "--force"});
    qInstallMessageHandler(before);
    EXPECT_EQ(code, 0) << err_.str();
    EXPECT_TRUE(raw.empty()) << raw.front();
    const std::string said = err_.str();
    const size_t at = said.find(c.said);
    ASSERT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find(c.said, at + 1), std::string::npos) << "said once: " << said;
    EXPECT_NE(said.find(std::string("kestro-welcome-cli: warning: ") + c.name + ": the picture data is damaged"),
              std::string::npos)
        << said;
  }
}

// What jq makes of field KEY of the JSON document in file: its text as jq
// prints it raw, "|", and the base64 of KEY_bytes decoded (or "null").
std::string JqReads(const std::string& file, const std::string& key) {
  const std::string command = "jq -j '." + key + ", \"|\", (." + key + "_bytes // \"null\")' '" + file + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string got;
  char buffer[256];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) got.append(buffer, n);
  const size_t bar = got.rfind('|');
  if (bar == std::string::npos) return got;
  const std::string bytes = got.substr(bar + 1);
  if (bytes == "null") return got;
  return got.substr(0, bar + 1) + QByteArray::fromBase64(QByteArray::fromStdString(bytes)).toStdString();
}

// A name reaches each reader exactly: jq (which turns "\udcXX" into U+FFFD)
// gets the bytes of a name that is not UTF-8 from KEY_bytes; the terminal
// sees C0 and C1 controls and invalid bytes escaped; the log keeps every byte
// but a C0 control's.
TEST_F(CliTest, NamesReachJqTheTerminalAndTheLogExactly) {
  if (std::system("jq --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "jq is not installed";
  QImage logo(64, 48, QImage::Format_RGB32);
  logo.fill(QColor(40, 90, 200));
  const struct {
    std::string name;    // of the picture, without ".png"
    std::string jq;      // what jq reads of "picture": its text, "|", the bytes
    std::string shown;   // on the terminal
    std::string logged;  // in the log
  } cases[] = {
      {"bad\xff", "bad\xef\xbf\xbd.png|bad\xff.png", "bad\\xff", "bad\xff"},
      {"csi\xc2\x9b[2J", "csi\xc2\x9b[2J.png|null", "csi\\xc2\\x9b[2J", "csi\xc2\x9b[2J"},
      {"two\nlines", "two\nlines.png|null", "two\\nlines", "two\\nlines"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(TerminalName(c.name));
    ASSERT_TRUE(logo.save(QString::fromStdString(Path("logo.png"))));
    fs::rename(Path("logo.png"), c.name + ".png");
    ASSERT_EQ(Run({"--home", Home(), "--json", "import", c.name + ".png", c.name + ".bmp"}), 0) << err_.str();
    WriteBytes("report.json", test::ToBytes(out_.str()));
    EXPECT_EQ(JqReads("report.json", "picture"), c.jq);
    ASSERT_EQ(Run({"--home", Home(), "import", c.name + ".png", c.name + ".bmp"}), 0) << err_.str();
    EXPECT_EQ(LastLine(), "Written: " + c.shown + ".bmp");
    const Bytes log = test::ReadBytes(Home("Log/KestroWelcomeScreen.log"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("ImportPicture: In=" + c.logged + ".png, Out="),
              std::string::npos);
    fs::remove(c.name + ".png");
  }
}

// With --json stdout is one JSON document whatever happens: the reports of
// make, run, inspect and import, and for everything else (sample, preview,
// step, a usage error, a failure before the report) a document that gives
// the exit code and the error.
TEST_F(CliTest, JsonIsAlwaysOneDocument) {
  WriteBytes("logo.bmp", test::MakeBitmap());
  WriteBytes("blocked", {0});
  const struct {
    std::vector<std::string> args;
    int code;
    const char* command;  // the document's "command"; nullptr for null
    const char* error;    // the start of its "error"; nullptr for null
  } cases[] = {
      {{"--json", "--home", Home(), "make", "missing.bmp"}, 1, "make", "no such picture: missing.bmp"},
      {{"--json", "--home", Path("blocked/home"), "make", "logo.bmp"}, 1, "make", "ERROR: FormCreate(), Msg="},
      {{"--json", "sample", "sample.bmp"}, 0, "sample", nullptr},
      {{"--json", "preview", "logo.bmp", "logo.png"}, 0, "preview", nullptr},
      {{"--json", "preview", "logo.bmp", "logo.bmp"}, 1, "preview", "logo.bmp is the input"},
      {{"--json", "--home", Home(), "step", "rawconv", "missing", "out"}, 1, "step", nullptr},
      {{"--json", "frobnicate"}, 2, nullptr, "unknown command \"frobnicate\""},
      {{"--json", "--home", Home(), "make", "logo.bmp"}, 0, "make", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(Run(c.args), c.code);
    QJsonParseError parsed{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out_.str()), &parsed);
    ASSERT_EQ(parsed.error, QJsonParseError::NoError) << out_.str();
    ASSERT_TRUE(doc.isObject()) << out_.str();
    EXPECT_EQ(doc["command"].isNull(), c.command == nullptr);
    if (c.command) {
      EXPECT_EQ(doc["command"].toString().toStdString(), c.command);
    }
    EXPECT_EQ(doc["exit_code"].toInt(), c.code);
    if (c.error) {
      EXPECT_EQ(doc["error"].toString().toStdString().rfind(c.error, 0), 0u) << out_.str();
    } else if (c.code == 0) {
      EXPECT_TRUE(doc["error"].isNull()) << out_.str();
    }
  }
}

// On a terminal stdout and stderr show together: an import's warning is said
// once, on stderr, not again in the report on stdout.
TEST_F(CliTest, ImportWarningsAreSaidOnce) {
  WriteBytes("logo.bmp", test::MakeBitmap());
  ASSERT_EQ(Run({"import", "logo.bmp", "out.bmp", "--caption", "v1 \ue000"}), 0) << err_.str();
  const std::string warning = "the caption's font has no letter for";
  const std::string both = out_.str() + err_.str();
  ASSERT_NE(err_.str().find(warning), std::string::npos) << err_.str();
  EXPECT_EQ(both.find(warning), both.rfind(warning)) << both;
}

// A JPEG cut short still decodes, its lower part made up; the import says so.
TEST_F(CliTest, ImportWarnsOfAPictureCutShort) {
  ASSERT_TRUE(MakePhotoLike({.width = 400, .height = 300}).save(QString::fromStdString(Path("photo.jpg")), "JPEG"));
  test::Bytes jpeg = test::ReadBytes(Path("photo.jpg"));
  jpeg.resize(jpeg.size() / 2);
  WriteBytes(Path("cut.jpg"), jpeg);
  ASSERT_EQ(Run({"import", "cut.jpg", "cut.bmp"}), 0) << err_.str();
  const std::string warning =
      "the picture data is damaged or cut short, so part of the picture may be missing or "
      "wrong (its reader said: ";
  // Said once, on stderr; the report on stdout leaves it there.
  EXPECT_EQ(out_.str().find(warning), std::string::npos) << out_.str();
  EXPECT_EQ(err_.str().rfind("kestro-welcome-cli: warning: cut.jpg: " + warning, 0), 0u) << err_.str();
  EXPECT_TRUE(ReadConvertibleBitmap(Path("cut.bmp")));
}

TEST_F(CliTest, SamplePictureGoesThroughThePipeline) {
  ASSERT_EQ(Run({"sample", Path("sample.bmp")}), 0);
  ASSERT_EQ(Run({"--home", Home(), "make", Path("sample.bmp")}), 0) << out_.str();
  EXPECT_EQ(OutputCount(), test::kImagesPerPicture);
  EXPECT_EQ(Run({"sample", Path("no-folder/sample.bmp")}), 1);
  EXPECT_FALSE(test::Exists(Path("no-folder")));
}

TEST_F(CliTest, InspectReportsEveryFileAndExitsOneWhenAnyIsNotSound) {
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  ASSERT_EQ(Run({"--home", Home(), "make", "logo.bmp"}), 0);
  const std::string usb = Home("Output/logo_kestro300_usb_welcome.img");
  const std::string serial = Home("Output/logo_kestro400_serial_welcome.img");
  // The verdict first, one line a file.
  ASSERT_EQ(Run({"inspect", usb, serial}), 0) << err_.str();
  EXPECT_EQ(out_.str(), usb +
                            ": sound \u2014 USB update image for kestro300 (serial model QuorvatelMurraTwin8M), "
                            "picture 720 \u00d7 576, 256 colours\n" +
                            serial +
                            ": sound \u2014 serial update image for kestro400 (serial model kestro400), "
                            "picture 720 \u00d7 576, 256 colours\n");
  EXPECT_EQ(err_.str(), "");
  // The layers with --verbose.
  ASSERT_EQ(Run({"inspect", "-v", usb, serial}), 0) << err_.str();
  const std::string report = out_.str();
  EXPECT_NE(report.find("colours\n  USB update image: model mkusbimg300, partition 180224 bytes"), std::string::npos)
      << report;
  EXPECT_NE(report.find("  serial update image: model name \"kestro400\""), std::string::npos);
  EXPECT_NE(report.find("  sound\n" + serial), std::string::npos);
  EXPECT_EQ(LastLine(), "  sound");

  WriteBytes(Path("notes.txt"), test::ToBytes("not an image"));
  const std::string fault =
      "file: format: expected a serial update image, USB update image, partition image or "
      "welcome image, found none of these";
  EXPECT_EQ(Run({"inspect", usb, Path("notes.txt")}), 1);
  EXPECT_EQ(err_.str(), Path("notes.txt") + ": DAMAGED \u2014 do not flash: " + fault + "\n");
  test::Bytes damaged = test::ReadBytes(usb);
  damaged.at(5000) ^= 1;
  WriteBytes(Path("damaged.img"), damaged);
  const struct {
    std::string file;
    std::string verdict;
  } faults[] = {
      {Path("missing.img"), "cannot be read: Cannot open file " + Path("missing.img") + ": No such file or directory"},
      {Path("logo.bmp"), "this is a bitmap, not an update image \u2014 use make"},
      {Path("damaged.img"), "DAMAGED \u2014 do not flash: USB header: payload CRC: expected 0x"},
  };
  for (const auto& f : faults) {
    EXPECT_EQ(Run({"inspect", f.file}), 1);
    EXPECT_EQ(err_.str().rfind(f.file + ": " + f.verdict, 0), 0u) << err_.str();
    EXPECT_EQ(out_.str(), "");
  }
}

TEST_F(CliTest, InspectReportsAsJson) {
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  ASSERT_EQ(Run({"--home", Home(), "make", "logo.bmp"}), 0);
  const std::string usb = Home("Output/logo_borvik200_usb_welcome.img");
  EXPECT_EQ(Run({"inspect", "--json", usb, Path("logo.bmp")}), 1);
  QJsonParseError error;
  const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(out_.str()), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << out_.str();
  EXPECT_FALSE(root["sound"].toBool());
  const QJsonArray files = root["files"].toArray();
  ASSERT_EQ(files.size(), 2);
  const QJsonObject sound = files[0].toObject();
  EXPECT_TRUE(sound["sound"].toBool());
  EXPECT_EQ(sound["kind"].toString(), "usb");
  EXPECT_EQ(sound["model"].toString(), "borvik200");
  EXPECT_EQ(sound["serial_model"].toString(), "kestro100s");
  EXPECT_EQ(sound["picture"].toObject()["colours"].toInt(), 256);
  const QJsonArray layers = sound["layers"].toArray();
  ASSERT_GE(layers.size(), 5);
  EXPECT_EQ(layers[0].toObject()["layer"].toString(), "USB update image");
  EXPECT_TRUE(sound["fault"].isNull());
  const QJsonObject bitmap = files[1].toObject();
  EXPECT_FALSE(bitmap["sound"].toBool());
  EXPECT_EQ(bitmap["looks_like"].toString(), "a Windows bitmap");
  EXPECT_EQ(bitmap["verdict"].toString().toStdString(), "this is a bitmap, not an update image \u2014 use make");
}

// An import is logged as the window's is, and replaces only what an import made.
TEST_F(CliTest, ImportIsLoggedAndReplacesOnlyWhatAnImportMade) {
  QImage logo(320, 200, QImage::Format_RGB32);
  logo.fill(QColor(20, 40, 200));
  ASSERT_TRUE(logo.save(QString::fromStdString(Path("logo.png"))));
  WriteBytes(Path("notes.bmp"), test::ToBytes("my notes"));
  ASSERT_EQ(Run({"--home", Home(), "import", "logo.png", "logo.bmp"}), 0) << err_.str();
  const auto log = test::ReadBytes(Home("Log/KestroWelcomeScreen.log"));
  EXPECT_NE(std::string(log.begin(), log.end()).find(" => ImportPicture: In=logo.png, Out=logo.bmp, "),
            std::string::npos);
  // An earlier import's bitmap is replaced; anything else needs --force.
  EXPECT_EQ(Run({"--home", Home(), "import", "logo.png", "logo.bmp", "--background", "red"}), 0) << err_.str();
  EXPECT_EQ(Run({"--home", Home(), "import", "logo.png", "notes.bmp"}), 1);
  EXPECT_EQ(err_.str(),
            "kestro-welcome-cli: notes.bmp exists and is not a bitmap an import made; to replace it, "
            "add --force\n");
  EXPECT_EQ(test::ReadBytes(Path("notes.bmp")), test::ToBytes("my notes"));
  EXPECT_EQ(Run({"--home", Home(), "import", "logo.png", "notes.bmp", "--force"}), 0) << err_.str();
  EXPECT_TRUE(ReadConvertibleBitmap(Path("notes.bmp")));
  // A name that does not end in .bmp is written, with a warning.
  EXPECT_EQ(Run({"--home", Home(), "import", "logo.png", "out.png"}), 0);
  EXPECT_NE(err_.str().find("warning: out.png is a Windows bitmap although its name does not end in .bmp"),
            std::string::npos)
      << err_.str();
  // JSON
  EXPECT_EQ(Run({"--home", Home(), "import", "logo.png", "logo.bmp", "--json"}), 0);
  QJsonParseError error;
  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(out_.str()), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << out_.str();
  EXPECT_TRUE(o["written"].toBool());
  EXPECT_EQ(o["colours"].toInt(), 2);  // the picture and the black around it
  EXPECT_TRUE(o["fits"].toBool());
  EXPECT_EQ(o["budget"].toInteger(), 180208);
  EXPECT_TRUE(o["psnr_db"].isNull());  // kept exactly
  EXPECT_EQ(o["source"].toObject()["width"].toInt(), 320);
  EXPECT_TRUE(o["warnings"].toArray().isEmpty());
}

// What changes under the output's name while the picture is made is kept
// (the hook stands in for the other program); the bitmap goes beside it,
// said on stdout, why on stderr, and the import succeeds.
TEST_F(CliTest, ImportKeepsWhatChangedWhileItRan) {
  QImage logo(64, 48, QImage::Format_RGB32);
  logo.fill(QColor(200, 40, 20));
  ASSERT_TRUE(logo.save(QString::fromStdString(Path("logo.png"))));
  ASSERT_EQ(Run({"--home", Home(), "import", "logo.png", "race.bmp"}), 0) << err_.str();
  std::ostringstream other_out, other_err;
  const struct {
    const char* name;
    std::string out;
    std::function<void()> meanwhile;
    std::string other_said;  // what an import started meanwhile said
  } cases[] = {
      {"the user copies a file over an import's bitmap", "race.bmp",
       [] { ASSERT_EQ(std::system("printf 'my document' > race.bmp"), 0); }, ""},
      {"a second import to the same new name", "same.bmp",
       [&] {
         EXPECT_EQ(RunCli({"--home", Home(), "import", "logo.png", "same.bmp"}, other_out, other_err), 0);
       },
       "Written: same.bmp\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<Bytes> there;
    hooks::before_final_step = [&] {
      c.meanwhile();
      there = test::ReadBytes(Path(c.out));
    };
    EXPECT_EQ(Run({"--home", Home(), "import", "logo.png", c.out}), 0) << err_.str();
    const std::string beside = c.out.substr(0, c.out.size() - 4) + "-1.bmp";
    EXPECT_EQ(LastLine(), "Written: " + beside);
    EXPECT_NE(err_.str().find("kestro-welcome-cli: " + c.out + " is kept ("), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("); written as " + beside + " instead\n"), std::string::npos) << err_.str();
    EXPECT_EQ(err_.str().find("replaced"), std::string::npos) << err_.str();
    ASSERT_TRUE(there);
    EXPECT_EQ(test::ReadBytes(Path(c.out)), *there);
    EXPECT_TRUE(ReadConvertibleBitmap(Path(beside)));
    if (!c.other_said.empty()) {
      EXPECT_TRUE(other_out.str().ends_with(c.other_said)) << other_out.str();
    }
  }
  const Bytes log = test::ReadBytes(Home("Log/KestroWelcomeScreen.log"));
  EXPECT_NE(std::string(log.begin(), log.end()).find(" => ImportPicture: In=logo.png, Out=same-1.bmp, "),
            std::string::npos);
}

TEST_F(CliTest, InspectExtractWritesThePictureInside) {
  ASSERT_EQ(Run({"sample", Path("sample.bmp")}), 0);
  ASSERT_EQ(Run({"--home", Home(), "make", Path("sample.bmp")}), 0);
  const std::string image = Home("Output/sample_borvik200_serial_welcome.img");
  ASSERT_EQ(Run({"inspect", image, "--extract", Path("out.bmp")}), 0) << err_.str();
  EXPECT_EQ(LastLine(), "Picture written: " + Path("out.bmp"));
  // The sample is written with its own palette size as colours used, so the
  // picture comes back as the very same bitmap.
  EXPECT_EQ(test::ReadBytes(Path("out.bmp")), test::ReadBytes(Path("sample.bmp")));

  EXPECT_EQ(Run({"inspect", "--extract", Path("bad.bmp"), Path("sample.bmp")}), 1);
  EXPECT_FALSE(test::Exists(Path("bad.bmp")));
  EXPECT_EQ(Run({"inspect", image, "--extract", Path("no-folder/out.bmp")}), 1);
  EXPECT_EQ(err_.str().rfind("kestro-welcome-cli: cannot write " + Path("no-folder/out.bmp"), 0), 0u);
}

}  // namespace
}  // namespace kws

namespace kws {
namespace {

// Every writer of a file the user names keeps one rule: an existing file is
// replaced only when the same writer made it (and it is unchanged since) or
// with --force, and that is said on stderr; the command's own input never,
// by whatever name; a device is written into.
TEST_F(CliTest, WritersReplaceNothingOfTheUsersUnasked) {
  QImage logo(320, 200, QImage::Format_RGB32);
  logo.fill(QColor(20, 40, 200));
  ASSERT_TRUE(logo.save(QString::fromStdString(Path("logo.png"))));
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  ASSERT_EQ(Run({"--home", Home(), "make", "logo.bmp"}), 0) << err_.str();
  fs::copy_file(Home("Output/logo_borvik200_usb_welcome.img"), Path("logo.img"));
  const struct Writer {
    const char* name;
    std::vector<std::string> args;  // OUT stands for the destination
    std::string input;              // empty: the writer reads no file
    std::string made;               // what it makes, as a refusal names it
  } writers[] = {
      {"import", {"import", "logo.png", "OUT"}, "logo.png", "a bitmap an import made"},
      {"preview", {"preview", "logo.bmp", "OUT"}, "logo.bmp", "a preview this program made"},
      {"sample", {"sample", "OUT"}, "", "the sample picture this program wrote"},
      {"test card", {"sample", "--test-card", "OUT"}, "", "a test card this program wrote"},
      {"extract", {"inspect", "logo.img", "--extract", "OUT"}, "logo.img", "a picture an extract wrote"},
  };
  enum There { kNothing, kUnrelated, kMadeEarlier, kDevice, kOwnInput, kHardLinkToInput };
  const struct Case {
    const char* name;
    There there;
    bool force;
    int code;
    std::string err;  // the line said on stderr about the destination, or nothing
  } cases[] = {
      {"nonexistent", kNothing, false, 0, ""},
      {"nonexistent, --force", kNothing, true, 0, ""},
      {"unrelated existing file", kUnrelated, false, 1, "DEST exists and is not MADE; to replace it, add --force"},
      {"unrelated existing file, --force", kUnrelated, true, 0, "replaced DEST"},
      {"made by the same writer", kMadeEarlier, false, 0, "replaced DEST, MADE"},
      {"a device", kDevice, false, 0, ""},
      {"own input by another name", kOwnInput, false, 1, "DEST is the input INPUT itself; name another output"},
      {"own input by another name, --force", kOwnInput, true, 1, "DEST is the input INPUT itself; name another output"},
      {"a hard link to the input", kHardLinkToInput, true, 1, "DEST is the input INPUT itself; name another output"},
  };
  const test::Bytes notes = test::ToBytes("my notes");
  for (const Writer& w : writers) {
    for (const Case& c : cases) {
      if (w.input.empty() && (c.there == kOwnInput || c.there == kHardLinkToInput)) continue;
      SCOPED_TRACE(std::string(w.name) + ": " + c.name);
      std::string dest = "dest.out";
      fs::remove(Path(dest));
      if (c.there == kUnrelated) WriteBytes(Path(dest), notes);
      if (c.there == kDevice) dest = "/dev/null";
      if (c.there == kOwnInput) dest = "./" + w.input;
      if (c.there == kHardLinkToInput) fs::create_hard_link(Path(w.input), Path(dest));
      std::vector<std::string> args = w.args;
      std::replace(args.begin(), args.end(), std::string("OUT"), dest);
      if (c.force) args.push_back("--force");
      if (c.there == kMadeEarlier) {
        ASSERT_EQ(Run(args), 0) << err_.str();
        ASSERT_EQ(err_.str().find("replaced"), std::string::npos) << err_.str();
      }
      const test::Bytes input_before = w.input.empty() ? test::Bytes() : test::ReadBytes(Path(w.input));

      EXPECT_EQ(Run(args), c.code) << err_.str();
      std::string said = c.err;
      for (const auto& [from, to] :
           {std::pair<std::string, std::string>{"DEST", dest}, {"MADE", w.made}, {"INPUT", w.input}}) {
        if (const size_t at = said.find(from); at != std::string::npos) said.replace(at, from.size(), to);
      }
      if (said.empty()) {
        EXPECT_EQ(err_.str().find("replaced"), std::string::npos) << err_.str();
      } else {
        EXPECT_NE(err_.str().find("kestro-welcome-cli: " + said + "\n"), std::string::npos) << err_.str();
      }
      if (!w.input.empty()) {
        EXPECT_EQ(test::ReadBytes(Path(w.input)), input_before);
      }
      if (c.there == kUnrelated && c.code != 0) {
        EXPECT_EQ(test::ReadBytes(Path(dest)), notes);
      }
      if (c.there != kDevice && c.code == 0) {
        EXPECT_NE(test::ReadBytes(Path(dest)), notes);
      }
    }
  }
}

// A hint's command never names a file that is there: following it replaces nothing.
TEST_F(CliTest, HintsNameOnlyFilesThatDoNotExist) {
  test::BitmapRecipe deep;
  deep.bit_count = 24;
  WriteBytes(Path("holiday.bmp"), test::MakeBitmap(deep));
  QImage photo(320, 200, QImage::Format_RGB32);
  photo.fill(QColor(200, 120, 40));
  ASSERT_TRUE(photo.save(QString::fromStdString(Path("photo.jpg")), "JPEG"));
  const struct {
    std::string picture;
    std::vector<std::string> there;
    std::string hint;
  } cases[] = {
      {"holiday.bmp", {}, "import holiday.bmp holiday-fit.bmp"},
      {"holiday.bmp", {"holiday-fit.bmp"}, "import holiday.bmp holiday-fit-1.bmp"},
      {"holiday.bmp", {"holiday-fit.bmp", "holiday-fit-1.bmp"}, "import holiday.bmp holiday-fit-2.bmp"},
      {"photo.jpg", {}, "import photo.jpg photo.bmp"},
      {"photo.jpg", {"photo.bmp"}, "import photo.jpg photo-1.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hint);
    for (const char* name : {"holiday-fit.bmp", "holiday-fit-1.bmp", "photo.bmp"}) fs::remove(Path(name));
    for (const std::string& name : c.there) WriteBytes(Path(name), test::ToBytes("the user's"));
    EXPECT_EQ(Run({"--home", Home(), "make", c.picture}), 1);
    EXPECT_NE(err_.str().find("kestro-welcome-cli " + c.hint + "\n"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"--home", Home(), "make", "--json", c.picture}), 1);
    EXPECT_NE(out_.str().find("\"hint\": \"kestro-welcome-cli " + c.hint + "\""), std::string::npos) << out_.str();
  }
}

}  // namespace
}  // namespace kws
