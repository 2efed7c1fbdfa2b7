// What a run says it made is what it made: a legal bitmap that would be read
// as another picture is refused with every earlier image untouched; a report
// describes the bytes the run wrote, whatever happens to Output afterwards;
// and a picture that fails half-way names which of its images are new and
// which are older.
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "cli/cli.h"
#include "driver/driver.h"
#include "format/byte_order.h"
#include "support/cli_run.h"
#include "support/model_vectors.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::MakeBitmap;
using test::ReadBytes;
using test::WriteBytes;

class Reports : public test::CliRunTest {
 protected:
  int Run(std::vector<std::string> args) {
    args.insert(args.end(), {"--home", Home()});
    return CliRunTest::Run(args);
  }
  std::string Output() const { return Home("Output"); }

  std::map<std::string, Bytes> OutputFiles() const { return test::FilesWithBytes(Output()); }

  QJsonObject Json() const {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out_.str()), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out_.str();
    return doc.object();
  }

  static std::string Sha256(const Bytes& bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return QCryptographicHash::hash(view, QCryptographicHash::Sha256).toHex().toStdString();
  }
};

Bytes WithTrailingBytes(const test::BitmapRecipe& recipe, size_t count) {
  Bytes file = MakeBitmap(recipe);
  file.resize(file.size() + count, 0x5A);
  return file;
}

// Each of these bitmaps is legal, and convbmp's reading of it in order
// would fill every row: the images would hold another picture than every
// viewer shows. make refuses it and the images an earlier run made of the
// same name stay byte for byte.
TEST_F(Reports, AnotherPictureIsRefusedAndEarlierImagesStay) {
  const struct {
    const char* what;
    Bytes bitmap;
    std::string reason;
  } cases[] = {
      {"4 bits per pixel, trailing bytes",
       WithTrailingBytes({.bit_count = 4, .palette_entries = 16, .row_bytes = 360}, 207360), "bit depth 4, needs 8"},
      {"1 bit per pixel, trailing bytes",
       WithTrailingBytes({.bit_count = 1, .palette_entries = 2, .row_bytes = 92}, 414720), "bit depth 1, needs 8"},
      {"16 entries, colours used 0, pixel data behind them, trailing bytes",
       WithTrailingBytes({.palette_entries = 16}, 960),
       "Bitmap would be read as another picture: its 256 colour entries run past the start of its pixel data at byte "
       "118"},
  };
  WriteBytes(Path("logo.bmp"), MakeBitmap({.seed = 3}));
  ASSERT_EQ(Run({"make", Path("logo.bmp")}), 0) << err_.str();
  const std::map<std::string, Bytes> earlier = OutputFiles();
  ASSERT_EQ(earlier.size(), test::kImagesPerPicture);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(Path("logo.bmp"), c.bitmap);
    EXPECT_EQ(Run({"make", Path("logo.bmp")}), 1);
    EXPECT_NE(err_.str().find("logo.bmp: failed \u2014 " + c.reason), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("hint: import it"), std::string::npos) << err_.str();
    EXPECT_TRUE(OutputFiles() == earlier);
  }
}

// Another run that replaces the images in Output while this one reports
// (simulated by replacing them as fast as possible from a second process)
// cannot put its bytes under this picture's name: sizes and hashes come from
// the bytes this run wrote.
TEST_F(Reports, JsonDescribesTheBytesThisRunWrote) {
  fs::create_directories(Path("a"));
  fs::create_directories(Path("b"));
  WriteBytes(Path("a/logo.bmp"), MakeBitmap({.seed = 1}));
  WriteBytes(Path("b/logo.bmp"), MakeBitmap({.seed = 2}));
  ASSERT_EQ(Run({"make", Path("b/logo.bmp")}), 0);
  const std::map<std::string, Bytes> others = OutputFiles();
  ASSERT_EQ(Run({"make", Path("a/logo.bmp")}), 0);
  const std::map<std::string, Bytes> ours = OutputFiles();

  const pid_t replacer = ::fork();
  if (replacer == 0) {
    ::alarm(60);
    for (;;) {
      for (const auto& [name, bytes] : others) {
        const std::string temporary = Path("replacing.tmp");
        std::ofstream(temporary, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        fs::rename(temporary, Output() + "/" + name);
      }
    }
  }
  const int exit_code = Run({"make", Path("a/logo.bmp"), "--json"});
  ::kill(replacer, SIGKILL);
  ::waitpid(replacer, nullptr, 0);

  ASSERT_EQ(exit_code, 0) << err_.str();
  const QJsonArray outputs = Json()["pictures"].toArray()[0].toObject()["outputs"].toArray();
  ASSERT_EQ(static_cast<size_t>(outputs.size()), test::kImagesPerPicture);
  for (const QJsonValue& value : outputs) {
    const QJsonObject output = value.toObject();
    const std::string name = fs::path(output["path"].toString().toStdString()).filename().string();
    SCOPED_TRACE(name);
    ASSERT_EQ(ours.count(name), 1u);
    EXPECT_EQ(output["sha256"].toString().toStdString(), Sha256(ours.at(name)));
    EXPECT_EQ(static_cast<size_t>(output["size"].toInteger()), ours.at(name).size());
  }
}

// A base name so long that the serial images' names pass the system's limit
// of 255 bytes while the USB images' still fit: the picture fails after its
// first image was written, beside an older image that an earlier run left
// under another of its names. Nothing is deleted; the report names both.
TEST_F(Reports, AFailedPictureNamesItsNewAndOlderImages) {
  const std::string base(227, 'p');
  WriteBytes(Path(base + ".bmp"), MakeBitmap());
  ASSERT_EQ(Run({"run"}), 0);  // makes the working folders
  const std::vector<OutputImage> images = OutputImages(Output(), base);
  ASSERT_LE(fs::path(images[0].path).filename().string().size(), 255u);
  ASSERT_GT(fs::path(images[1].path).filename().string().size(), 255u);
  const std::string older = images[2].path;  // the next model's USB image, from "an earlier run"
  WriteBytes(older, Bytes{1, 2, 3});

  const auto name_of = [](const std::string& path) { return fs::path(path).filename().string(); };
  EXPECT_EQ(Run({"make", Path(base + ".bmp")}), 1);
  EXPECT_NE(err_.str().find("this run made 1 image of it before it failed (" + name_of(images[0].path) +
                            "); Output still holds 1 image of its names from an earlier run, not of this picture (" +
                            name_of(older) + ")"),
            std::string::npos)
      << err_.str();

  EXPECT_EQ(Run({"make", Path(base + ".bmp"), "--json"}), 1);
  const QJsonObject picture = Json()["pictures"].toArray()[0].toObject();
  const QJsonArray outputs = picture["outputs"].toArray();
  ASSERT_EQ(outputs.size(), 1);
  EXPECT_EQ(outputs[0].toObject()["path"].toString().toStdString(), images[0].path);
  EXPECT_EQ(outputs[0].toObject()["sha256"].toString().toStdString(), Sha256(ReadBytes(images[0].path)));
  EXPECT_EQ(picture["older_outputs"].toArray(), QJsonArray{QString::fromStdString(older)});
  EXPECT_EQ(ReadBytes(older), (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace kws
