// Importing generated pictures of every kind; each result is then taken
// through the whole pipeline, whose welcome image must hold exactly the size
// the import measured.
#include "picture/import_picture.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "driver/driver.h"
#include "driver/startup.h"
#include "fileio/file.h"
#include "fit/bitmap_file.h"
#include "format/byte_order.h"
#include "picture/address_space.h"
#include "picture/canvas.h"
#include "steps/steps.h"
#include "support/model_vectors.h"
#include "support/named_pipe.h"
#include "support/photo_like.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;

// Two shapes, one filled with a gradient, on a plain or transparent ground.
QImage Drawing(int width, int height, bool transparent) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(transparent ? QColor(Qt::transparent) : QColor(30, 60, 120));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  QLinearGradient gradient(0, 0, width, height);
  gradient.setColorAt(0, QColor(250, 200, 40));
  gradient.setColorAt(1, QColor(200, 30, 90));
  painter.setBrush(gradient);
  painter.drawEllipse(QRectF(width * 0.1, height * 0.1, width * 0.5, height * 0.8));
  painter.setBrush(QColor(20, 160, 90));
  painter.drawRect(QRectF(width * 0.55, height * 0.3, width * 0.35, height * 0.4));
  return image;
}

void Save(const QImage& image, const std::string& path, const char* format) {
  ASSERT_TRUE(image.save(QString::fromStdString(path), format)) << path;
}

Rgb ColorAt(const Picture8& p, int x, int y) {
  return p.palette.at(p.pixels.at(size_t(y) * size_t(p.width) + size_t(x)));
}

bool Near(const Rgb& a, const Rgb& b) {
  return std::abs(a.r - b.r) <= 3 && std::abs(a.g - b.g) <= 3 && std::abs(a.b - b.b) <= 3;
}

class ImportTest : public test::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    folders_ = StartUp(Path("home")).folders;
  }

  // The whole pipeline on an imported bitmap: result 0, the six images, and
  // a welcome image holding exactly the measured colour table and member.
  void ExpectPipelineTakes(const std::string& bitmap, const ImportReport& report) {
    NullRunView view;
    Driver driver(view, folders_);
    ASSERT_EQ(driver.ProcessFile(bitmap), 0) << bitmap;
    const std::string base = BaseName(bitmap);
    size_t images = 0;
    for (const auto& e : fs::directory_iterator(folders_.output)) {
      if (e.path().filename().string().rfind(base + "_", 0) == 0) ++images;
    }
    EXPECT_EQ(images, test::kImagesPerPicture);
    const Bytes usb = ReadBytes(folders_.output + "/" + base + "_kestro300_usb_welcome.img");
    ASSERT_GT(usb.size(), 4096u + 8u);
    // The partition image follows the 4096-byte block; the welcome header's
    // data length is its second field.
    EXPECT_EQ(GetBE32(&usb[4096 + 4]), report.size);
  }

  WorkingFolders folders_;
};

TEST_F(ImportTest, EveryKindOfPictureGoesThroughThePipeline) {
  const Rgb black{0, 0, 0}, ground{30, 60, 120};
  const struct {
    const char* name;
    const char* file;
    std::function<void(const std::string&)> write;
    bool fill;
    int placed_width, placed_height;
    std::optional<Rgb> corner;  // what the top left corner shows
  } cases[] = {
      {"PNG logo, transparent around", "logo.png", [](auto& p) { Save(Drawing(400, 200, true), p, "PNG"); }, false, 720,
       360, black},
      {"24-bit photo-like bitmap", "photo.bmp",
       [](auto& p) {
         Save(MakePhotoLike({.width = 800, .height = 600, .grain = 2.0}), p, "BMP");
         EXPECT_EQ(GetLE16(&ReadBytes(p)[28]), 24);
       },
       false, 720, 540, std::nullopt},
      {"run-length-encoded 8-bit bitmap", "banded.bmp",
       [](auto& p) { WriteBytes(p, test::Rle8Bitmap(test::BandedPicture())); }, false, 720, 576, Rgb{0, 255, 90}},
      {"GIF in 12 colours", "banded.gif", [](auto& p) { WriteBytes(p, test::LiteralGif(test::BandedPicture())); },
       false, 720, 576, Rgb{0, 255, 90}},
      {"JPEG photo", "photo.jpg", [](auto& p) { Save(MakePhotoLike({.width = 640, .height = 480}), p, "JPEG"); }, false,
       720, 540, std::nullopt},
      {"1920 x 1080", "wide.png", [](auto& p) { Save(Drawing(1920, 1080, false), p, "PNG"); }, false, 720, 405, black},
      {"1920 x 1080 filled", "wide.png", [](auto& p) { Save(Drawing(1920, 1080, false), p, "PNG"); }, true, 1024, 576,
       ground},
      {"300 x 300", "square.png", [](auto& p) { Save(Drawing(300, 300, false), p, "PNG"); }, false, 576, 576, black},
      {"300 x 300 filled", "square.png", [](auto& p) { Save(Drawing(300, 300, false), p, "PNG"); }, true, 720, 720,
       ground},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.write(Path(c.file));
    const std::string bitmap = Path(std::string("imported_") + c.file + ".bmp");
    const ImportReport report = ImportPictureFile(Path(c.file), bitmap, {.fill = c.fill});
    EXPECT_EQ(report.placed_width, c.placed_width);
    EXPECT_EQ(report.placed_height, c.placed_height);
    EXPECT_FALSE(report.unchanged);
    EXPECT_TRUE(report.Fits());
    EXPECT_GT(report.psnr_db, 25.0);
    const std::optional<Picture8> written = ReadConvertibleBitmap(bitmap);
    ASSERT_TRUE(written);
    EXPECT_EQ(WelcomeDataSize(*written), report.size);
    if (c.corner) {
      EXPECT_TRUE(Near(ColorAt(*written, 0, 0), *c.corner));
    }
    ExpectPipelineTakes(bitmap, report);
  }
}

TEST_F(ImportTest, FewColoursComeThroughExactly) {
  const Picture8 banded = test::BandedPicture();
  WriteBytes(Path("banded.bmp"), test::Rle8Bitmap(banded));
  const ImportedPicture imported = ImportPicture(Path("banded.bmp"));
  EXPECT_TRUE(std::isinf(imported.report.psnr_db));
  EXPECT_EQ(imported.report.colors, 12);
  for (int y = 0; y < kPictureHeight; y += 7) {
    for (int x = 0; x < kPictureWidth; x += 5) ASSERT_EQ(ColorAt(imported.picture, x, y), ColorAt(banded, x, y));
  }
}

// A large JPEG is read at a reduced scale: the canvas is the one the whole
// picture gives but for the detail the scaling leaves out anyway, in the
// same place to the pixel, and the import still fits.
TEST_F(ImportTest, ALargeJpegReadAtAReducedScaleIsPlacedAsAWholeOne) {
  const struct {
    const char* name;
    int width, height;
    Display display;
    bool fill;
  } cases[] = {
      {"4:3 on a 4:3 TV", 1600, 1200, Display::k4x3, false},
      {"wide, centred", 2400, 800, Display::kSquare, false},
      {"wide, filling and cropped", 3000, 1500, Display::kSquare, true},
      {"sides not divisible by 8", 1603, 1201, Display::k4x3, false},
  };
  const Rgb teal{0, 128, 128};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Made small and scaled up: generating every pixel takes long.
    const QImage photo = MakePhotoLike({.width = c.width / 4, .height = c.height / 4, .grain = 6.0, .seed = 5});
    Save(photo.scaled(c.width, c.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), Path("big.jpg"), "JPEG");
    const auto target = [&](const QSize& source) {
      return ToQSize(PlacePicture(source, c.fill, c.display, SafeArea::kNone).size);
    };
    const DecodedPicture whole = ReadPicture(Path("big.jpg"));
    const DecodedPicture reduced = ReadPicture(Path("big.jpg"), target);
    EXPECT_EQ(reduced.size, QSize(c.width, c.height));
    EXPECT_EQ(whole.size, reduced.size);
    EXPECT_LT(reduced.image.width(), c.width);
    const QSize placed = target(reduced.size);
    EXPECT_GE(reduced.image.width(), placed.width());
    EXPECT_GE(reduced.image.height(), placed.height());
    const QImage a = PlaceOnCanvas(whole.image, teal, c.fill, c.display, SafeArea::kNone);
    const QImage b = PlaceOnCanvas(reduced.image, reduced.size, teal, c.fill, c.display, SafeArea::kNone);
    // Where the background shows, row by row and column by column.
    const auto background = [&](const QImage& canvas, int x, int y) {
      const QRgb p = canvas.pixel(x, y);
      return qRed(p) == teal.r && qGreen(p) == teal.g && qBlue(p) == teal.b;
    };
    for (int y = 0; y < kPictureHeight; y += 9) {
      int xa = 0, xb = 0;
      while (xa < kPictureWidth && background(a, xa, y)) ++xa;
      while (xb < kPictureWidth && background(b, xb, y)) ++xb;
      EXPECT_LE(std::abs(xa - xb), 1) << y;
    }
    for (int x = 0; x < kPictureWidth; x += 9) {
      int ya = 0, yb = 0;
      while (ya < kPictureHeight && background(a, x, ya)) ++ya;
      while (yb < kPictureHeight && background(b, x, yb)) ++yb;
      EXPECT_LE(std::abs(ya - yb), 1) << x;
    }
    // The pictures themselves differ by little more than the JPEG's own loss.
    double squared = 0;
    for (int y = 0; y < kPictureHeight; ++y) {
      for (int x = 0; x < kPictureWidth; ++x) {
        const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
        for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) squared += d * d;
      }
    }
    EXPECT_GT(10 * std::log10(255.0 * 255.0 * 3 * kPictureWidth * kPictureHeight / squared), 30.0);
    const ImportReport report =
        ImportPictureFile(Path("big.jpg"), Path("big.bmp"), {.background = teal, .fill = c.fill, .display = c.display});
    EXPECT_EQ(report.source_width, c.width);
    EXPECT_EQ(report.source_height, c.height);
    EXPECT_EQ(QSize(report.placed_width, report.placed_height), placed);
    EXPECT_TRUE(report.Fits());
  }
}

TEST_F(ImportTest, BackgroundSurroundsAPictureScaledToFit) {
  Save(Drawing(300, 300, true), Path("logo.png"), "PNG");
  const Rgb teal{0, 128, 128};
  const ImportedPicture imported = ImportPicture(Path("logo.png"), {.background = teal});
  EXPECT_TRUE(Near(ColorAt(imported.picture, 0, 0), teal));
  EXPECT_TRUE(Near(ColorAt(imported.picture, 719, 575), teal));
  // The logo's own transparent corners show the background too.
  EXPECT_TRUE(Near(ColorAt(imported.picture, 80, 10), teal));
}

// Over the budget with 256 colours and full dithering: one photo fits once
// dithering is reduced, the other needs fewer colours as well.
TEST_F(ImportTest, PhotosOverTheBudgetAreFittedAndTheirPsnrReported) {
  const struct {
    const char* name;
    double grain;
    bool fewer_colors;
  } cases[] = {{"light grain", 3.0, false}, {"heavy grain", 6.0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Save(MakePhotoLike({.grain = c.grain, .seed = 7}), Path("photo.png"), "PNG");
    const ImportReport report = ImportPictureFile(Path("photo.png"), Path("photo.bmp"));
    EXPECT_GT(report.first_size, welcome::kMaxDataLength);
    EXPECT_LE(report.size, welcome::kMaxDataLength);
    EXPECT_TRUE(report.fitted);
    if (c.fewer_colors) {
      EXPECT_LT(report.colors, 256);
      EXPECT_EQ(report.dithering, 0.0);
    } else {
      EXPECT_EQ(report.colors, 256);
      EXPECT_LT(report.dithering, 1.0);
    }
    EXPECT_GT(report.psnr_db, 25.0);
    EXPECT_LT(report.psnr_db, 45.0);
    const std::string text = DescribeReport(report);
    EXPECT_NE(text.find("PSNR:    "), std::string::npos) << text;
    EXPECT_NE(text.find("Fit:     "), std::string::npos) << text;
    ExpectPipelineTakes(Path("photo.bmp"), report);
  }
}

// Versions of every kind chosen by PSNR as seen: whatever the budget, the
// one chosen fits by the pipeline's own measure, and the same picture always
// gives the same bytes.
TEST_F(ImportTest, SmoothedFitsKeepToTheBudgetAndRepeatThemselves) {
  Save(MakePhotoLike({.grain = 6.0, .seed = 4}), Path("photo.png"), "PNG");
  const struct {
    const char* name;
    size_t budget;
  } cases[] = {
      {"the welcome image's", welcome::kMaxDataLength},
      {"smoothing at full strength", 110000},
      {"fewer colours as well", 40000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ImportOptions options{.budget = c.budget, .by_seen = true};
    const ImportReport report = ImportPictureFile(Path("photo.png"), Path("photo.bmp"), options);
    EXPECT_TRUE(report.fitted);
    EXPECT_TRUE(report.Fits());
    EXPECT_GT(report.psnr_db, 20.0);
    EXPECT_GT(report.psnr_seen_db, report.psnr_db);
    const Bytes written = ReadBytes(Path("photo.bmp"));
    const std::optional<Picture8> bitmap = ReadConvertibleBitmap(Path("photo.bmp"));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(WelcomeDataSize(*bitmap), report.size);
    ImportPictureFile(Path("photo.png"), Path("again.bmp"), options);
    EXPECT_TRUE(ReadBytes(Path("again.bmp")) == written);
    if (c.budget == welcome::kMaxDataLength) ExpectPipelineTakes(Path("photo.bmp"), report);
  }
}

TEST_F(ImportTest, NoFitKeepsEveryColourAndFullDitheringEvenWhenTooBig) {
  Save(MakePhotoLike({.grain = 6.0}), Path("photo.png"), "PNG");
  const ImportReport report = ImportPictureFile(Path("photo.png"), Path("photo.bmp"), {.fit = false});
  EXPECT_FALSE(report.Fits());
  EXPECT_FALSE(report.fitted);
  EXPECT_EQ(report.dithering, 1.0);
  EXPECT_EQ(report.size, report.first_size);
  EXPECT_EQ(report.candidates, 1);
  EXPECT_NE(DescribeReport(report).find(" over: too big for the receivers"), std::string::npos);
  EXPECT_TRUE(ReadConvertibleBitmap(Path("photo.bmp")));
}

TEST_F(ImportTest, AcceptableBitmapsAreWrittenUnchanged) {
  const struct {
    const char* name;
    test::BitmapRecipe bitmap;
    bool fit;
  } cases[] = {
      {"256 colours", {}, true},
      {"16 colours", {.colors_used = 16, .palette_entries = 16}, true},
      {"124-byte header and a gap", {.info_size = 124, .gap_before_pixels = 10, .seed = 4}, true},
      {"without fitting", {.seed = 9}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Path("in.bmp"), test::MakeBitmap(c.bitmap));
    const ImportReport report = ImportPictureFile(Path("in.bmp"), Path("out.bmp"), {.fit = c.fit});
    EXPECT_TRUE(report.unchanged);
    EXPECT_TRUE(std::isinf(report.psnr_db));
    EXPECT_EQ(report.colors, int(c.bitmap.palette_entries));
    // convbmp makes the same colour table and rows of both.
    ASSERT_EQ(convbmp(Path("in.bmp"), Path("in.ct"), Path("in.raw")), 0);
    ASSERT_EQ(convbmp(Path("out.bmp"), Path("out.ct"), Path("out.raw")), 0);
    EXPECT_EQ(ReadBytes(Path("in.ct")), ReadBytes(Path("out.ct")));
    EXPECT_TRUE(ReadBytes(Path("in.raw")) == ReadBytes(Path("out.raw")));
  }
}

TEST_F(ImportTest, AnAcceptableBitmapOverTheBudgetIsFittedLikeAnyPicture) {
  Picture8 noise;
  std::mt19937 rng(5);
  for (int i = 0; i < 256; ++i) noise.palette.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
  noise.pixels.resize(kPictureBytes);
  for (uint8_t& p : noise.pixels) p = uint8_t(rng());
  ASSERT_GT(WelcomeDataSize(noise), welcome::kMaxDataLength);
  WriteBytes(Path("noise.bmp"), EncodeBitmap8(noise));
  const ImportReport report = ImportPictureFile(Path("noise.bmp"), Path("out.bmp"));
  EXPECT_FALSE(report.unchanged);
  EXPECT_TRUE(report.fitted);
  EXPECT_TRUE(report.Fits());
}

TEST_F(ImportTest, APictureThatCannotFitIsAClearError) {
  Save(MakePhotoLike({.grain = 6.0}), Path("photo.png"), "PNG");
  try {
    ImportPictureFile(Path("photo.png"), Path("photo.bmp"), {.budget = 2000});
    FAIL() << "no error";
  } catch (const ImportError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind(Path("photo.png") + " cannot be made to fit the receivers: even down to 2 colours "
                                                "without dithering, its smallest version takes ",
                            0),
              0u)
        << message;
    EXPECT_NE(message.find(" bytes of colour table and compressed picture, and the welcome image holds at most 2,000."),
              std::string::npos)
        << message;
  }
  EXPECT_FALSE(test::Exists(Path("photo.bmp")));
}

// Every format Qt's readers take, as an unsupported picture's error lists them.
std::string FormatList() {
  std::string list;
  for (const QByteArray& format : QImageReader::supportedImageFormats()) {
    list += (list.empty() ? "" : ", ") + format.toStdString();
  }
  return list;
}

// A PNG that claims this size and holds a few bytes of pixels.
Bytes PngHeaderOnly(uint32_t width, uint32_t height) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&](const char* type, Bytes data) {
    const uint8_t length[4] = {uint8_t(data.size() >> 24), uint8_t(data.size() >> 16), uint8_t(data.size() >> 8),
                               uint8_t(data.size())};
    b.insert(b.end(), length, length + 4);
    data.insert(data.begin(), type, type + 4);
    const uint32_t crc = uint32_t(crc32(0, data.data(), uInt(data.size())));
    b.insert(b.end(), data.begin(), data.end());
    b.insert(b.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
  };
  Bytes ihdr(13, 0);
  PutBE32(&ihdr[0], width);
  PutBE32(&ihdr[4], height);
  ihdr[8] = 8;  // 8 bits a sample, true colour
  ihdr[9] = 2;
  chunk("IHDR", ihdr);
  Bytes idat(64);
  uLongf idat_size = uLongf(idat.size());
  const Bytes row(16, 0);
  compress(idat.data(), &idat_size, row.data(), uLong(row.size()));
  idat.resize(idat_size);
  chunk("IDAT", idat);
  chunk("IEND", {});
  return b;
}

TEST_F(ImportTest, UnreadableFilesAreClearErrors) {
  WriteBytes(Path("notes.png"), test::ToBytes("not a picture at all"));
  // A bomb: a few bytes that would decode to 40 GB.
  WriteBytes(Path("huge.png"), PngHeaderOnly(100000, 100000));
  test::Bytes long_line = test::MakeBitmap({.width = 2000000, .height = 1, .bit_count = 24, .pixel_rows = 0});
  WriteBytes(Path("long.bmp"), long_line);
  ASSERT_TRUE(fs::create_directory(Path("folder.png")));
  const struct {
    const char* file;
    std::string reason;
  } cases[] = {
      {"missing.png", "File not found"},
      {"notes.png", "Unsupported image format; the formats it reads are " + FormatList()},
      {"huge.png", "at 100,000 x 100,000 pixels it is too large: the import takes up to 67,108,864 pixels"},
      {"long.bmp", "at 2,000,000 x 1 pixels it is too large: the import takes no side longer than 1,000,000 pixels"},
      {"folder.png", "it is not a regular file but a folder"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    try {
      ImportPictureFile(Path(c.file), Path("out.bmp"));
      FAIL() << "no error";
    } catch (const ImportError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot read " + Path(c.file) + " as a picture: " + c.reason);
    }
    EXPECT_FALSE(test::Exists(Path("out.bmp")));
  }
}

// A file cut short that its reader still decodes is imported with a warning
// in the report; what is missing is the same each time, never whatever the
// memory held.
TEST_F(ImportTest, PicturesCutShortAreImportedWithAWarning) {
  const test::BitmapRecipe half_rows{.pixel_rows = 288};
  Save(MakePhotoLike({.width = 400, .height = 300}), Path("photo.jpg"), "JPEG");
  Bytes jpeg = ReadBytes(Path("photo.jpg"));
  jpeg.resize(jpeg.size() / 2);
  const Bytes whole_gif = test::LiteralGif(test::BandedPicture());
  const Bytes gif(whole_gif.begin(), whole_gif.begin() + ptrdiff_t(whole_gif.size() / 2));
  const Bytes gif_without_end(whole_gif.begin(), whole_gif.end() - 1);
  Bytes rle = test::Rle8Bitmap(test::BandedPicture());
  rle.resize(rle.size() / 2);
  const struct {
    const char* file;
    Bytes bytes;
    std::string warning;
    std::optional<Rgb> top_left;
  } cases[] = {
      {"cut.jpg", jpeg,
       "the picture data is damaged or cut short, so part of the picture may be missing or wrong (its reader said: ",
       std::nullopt},
      // Stored bottom row first: the top half is missing and shows colour 0.
      {"cut.bmp", test::MakeBitmap(half_rows),
       "the file ends early: it holds 207,360 of the 414,720 bytes of its pixel rows, so part of the picture is "
       "missing",
       test::GeneratedColor(half_rows, 0)},
      // Qt's GIF and run-length bitmap readers say nothing of a file that
      // ends early; the rows they did not get are empty.
      {"cut.gif", gif, "the file ends early, inside the data of its picture, so part of the picture is missing",
       std::nullopt},
      {"no-end.gif", gif_without_end,
       "the file ends early, after its first picture, which is shown; what followed is lost", std::nullopt},
      {"cut-rle.bmp", rle,
       "the file ends early: its run-length-coded pixels stop after 286 of its 576 rows, so part of the picture is "
       "missing",
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    WriteBytes(Path(c.file), c.bytes);
    const ImportedPicture imported = ImportPicture(Path(c.file));
    ASSERT_EQ(imported.report.warnings.size(), 1u);
    EXPECT_EQ(imported.report.warnings[0].rfind(c.warning, 0), 0u) << imported.report.warnings[0];
    EXPECT_NE(DescribeReport(imported.report).find("\nWarning: " + imported.report.warnings[0] + "\n"),
              std::string::npos);
    EXPECT_NE(SummarizeReport(imported.report).find("; warning: " + imported.report.warnings[0]), std::string::npos);
    if (c.top_left) {
      for (int x = 0; x < kPictureWidth; ++x) ASSERT_EQ(ColorAt(imported.picture, x, 0), *c.top_left) << x;
    }
  }
}

// In a death test's child: runs check with the address space allowed to
// grow by headroom only (not under AddressSanitizer, whose shadow memory
// needs far more address space than it uses) and a minute to finish, then
// exits 0 when check returned nothing, else 1 with its text on stderr.
std::string LimitedCheck(const std::function<std::string()>& check, uint64_t headroom) {
  ::alarm(60);
  if (!kAddressSanitizer) {
    const uint64_t limit = AddressSpaceBytes() + headroom;
    const rlimit both{limit, limit};
    if (::setrlimit(RLIMIT_AS, &both) != 0) return "no limit";
  }
  try {
    return check();
  } catch (const std::exception& e) {
    return std::string("threw: ") + e.what();
  }
}

[[noreturn]] void ExitWith(const std::string& failures) {
  std::fprintf(stderr, "%s\n", failures.c_str());
  std::fflush(stderr);
  ::_exit(failures.empty() ? 0 : 1);
}

// A line one pixel thin and thousands long, filling the canvas or fitting
// it, takes little memory and time: only what stays visible is scaled. Each
// picture is five bands of colour along the line; few colours, so that the
// child process never starts libimagequant's threads.
TEST_F(ImportTest, ExtremeShapesTakeLittleMemoryAndComeOutRight) {
  // The child starts afresh: Qt's image conversions use a pool of threads,
  // which a mere fork would lose.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Rgb bands[] = {{220, 40, 40}, {40, 200, 60}, {60, 90, 230}, {240, 220, 30}, {200, 60, 210}};
  const struct {
    int width, height;
    bool fill;
    int placed_width, placed_height;
  } cases[] = {
      {1, 1000, true, 720, 720000}, {1, 10000, true, 720, 7200000}, {10000, 1, true, 5760000, 576},
      {1, 1000, false, 1, 576},     {1, 10000, false, 1, 576},      {10000, 1, false, 720, 1},
  };
  for (const auto& c : cases) {
    const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + (c.fill ? " filled" : " fit");
    SCOPED_TRACE(name);
    const int length = std::max(c.width, c.height);
    QImage line(c.width, c.height, QImage::Format_RGB32);
    for (int i = 0; i < length; ++i) {
      const Rgb band = bands[i * 5 / length];
      line.setPixel(c.width == 1 ? 0 : i, c.width == 1 ? i : 0, qRgb(band.r, band.g, band.b));
    }
    Save(line, Path("line.png"), "PNG");

    const auto check = [&] {
      std::string failed;
      const auto expect = [&](bool ok, const std::string& what) {
        if (!ok) failed += what + "; ";
      };
      const ImportedPicture imported = ImportPicture(Path("line.png"), {.fill = c.fill});
      const ImportReport& r = imported.report;
      const std::string scaled = std::to_string(c.width) + " x " + std::to_string(c.height) + ", scaled to " +
                                 std::to_string(c.placed_width) + " x " + std::to_string(c.placed_height);
      const std::string text = DescribeReport(r);
      expect(text.rfind("Picture: " + scaled + (c.fill ? " and cropped to 720 x 576\n" : " and centred\n"), 0) == 0,
             "report: " + text);
      expect(r.warnings.empty() && std::isinf(r.psnr_db), "not lossless, or warned: " + text);
      const Picture8& p = imported.picture;
      if (c.fill) {
        // The middle of the line covers the whole canvas.
        for (const auto& [x, y] : {std::pair{0, 0}, {kPictureWidth / 2, kPictureHeight / 2}, {719, 575}}) {
          expect(Near(ColorAt(p, x, y), bands[2]), "not filled with the middle band at " + std::to_string(x));
        }
      } else {
        // The whole line, end to end, on the black background.
        const bool tall = c.height > c.width;
        const auto on_line = [&](int at) {
          return tall ? ColorAt(p, (kPictureWidth - 1) / 2, at) : ColorAt(p, at, (kPictureHeight - 1) / 2);
        };
        const int end = (tall ? kPictureHeight : kPictureWidth) - 1;
        expect(Near(on_line(0), bands[0]) && Near(on_line(end / 2), bands[2]) && Near(on_line(end), bands[4]),
               "the line does not run end to end");
        const Rgb beside = tall ? ColorAt(p, 0, kPictureHeight / 2) : ColorAt(p, kPictureWidth / 2, 0);
        expect(Near(beside, Rgb{}), "no background beside the line");
      }
      return failed;
    };
    EXPECT_EXIT(
        {
          const std::string failures = LimitedCheck(check, uint64_t{256} << 20);
          TearDown();
          ExitWith(failures);
        },
        testing::ExitedWithCode(0), "");
  }
}

// A gzip member of head, filler spaces and tail, as a .svgz holds its SVG.
Bytes Gzipped(const std::string& head, size_t filler, const std::string& tail) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out;
  uint8_t chunk[1 << 16];
  const std::string spaces(1 << 20, ' ');
  const auto feed = [&](const std::string& text, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    do {
      z.next_out = chunk;
      z.avail_out = sizeof chunk;
      deflate(&z, flush);
      out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    } while (z.avail_out == 0);
  };
  feed(head, Z_NO_FLUSH);
  for (size_t left = filler; left > 0; left -= std::min(left, spaces.size())) {
    feed(spaces.substr(0, std::min(left, spaces.size())), Z_NO_FLUSH);
  }
  feed(tail, Z_FINISH);
  deflateEnd(&z);
  return out;
}

// A GIF of a 16 x 16 screen whose one frame claims 65,535 x 65,535 pixels:
// Qt's reader would decode every one of them.
Bytes HugeFrameGif() {
  Bytes b = test::ToBytes("GIF89a");
  b.insert(b.end(), {16, 0, 16, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // 2-entry colour table
  b.insert(b.end(), {0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2});    // the frame, codes of 2 bits
  b.insert(b.end(), {2, 0x44, 0x01, 0, 0x3B});                            // clear, 0, end; end of the file
  return b;
}

std::string SvgOpening(int width, int height) {
  return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='" +
         std::to_string(width) + "' height='" + std::to_string(height) + "'>";
}

// Pictures that would reach outside themselves or claim far more than they
// hold: each is refused before its reader opens anything, or read, in a
// child process whose address space may grow by 512 MiB only and which has
// a minute to finish. Text in an SVG needs Qt's fonts, which the child
// (like the command line) has no application object for at first.
TEST_F(ImportTest, PicturesStayInsideThemselvesAndWithinBounds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::NamedPipe pipe(Path("pipe.png"));
  ASSERT_TRUE(pipe.made());
  Save(Drawing(16, 16, false), Path("secret.png"), "PNG");
  const Bytes png_bytes = ReadBytes(Path("secret.png"));
  const std::string png =
      QByteArray(reinterpret_cast<const char*>(png_bytes.data()), qsizetype(png_bytes.size())).toBase64().toStdString();
  const std::string inner_svg = QByteArray::fromStdString(SvgOpening(8, 8) + "</svg>").toBase64().toStdString();
  const std::string image = "<image width='64' height='48' xlink:href='";
  const std::string outside = "), and the import loads nothing but the picture";
  const std::string text_svg = SvgOpening(200, 60) +
                               "<rect width='200' height='60' fill='white'/>"
                               "<text x='10' y='45' font-size='40' fill='black'>Kestro</text></svg>";
  const struct {
    const char* file;
    Bytes bytes;
    std::string refusal;  // nothing: read
  } cases[] = {
      {"outside.svg", test::ToBytes(SvgOpening(64, 48) + image + Path("secret.png") + "'/></svg>"),
       "it names a picture outside itself (" + Path("secret.png") + outside},
      {"pipe.svg", test::ToBytes(SvgOpening(64, 48) + image + Path("pipe.png") + "'/></svg>"),
       "it names a picture outside itself (" + Path("pipe.png") + outside},
      {"relative.svg",
       test::ToBytes(SvgOpening(64, 48) +
                     "<svg:image xmlns:svg='http://www.w3.org/2000/svg' href='secret.png'/></svg>"),
       "it names a picture outside itself (secret.png" + outside},
      {"style.svg", test::ToBytes("<?xml-stylesheet type='text/css' href='pipe.png'?>" + SvgOpening(64, 48) + "</svg>"),
       "it names a style sheet outside itself, and the import loads nothing but the picture"},
      {"nested.svg", test::ToBytes(SvgOpening(64, 48) + image + "data:image/svg+xml;base64," + inner_svg + "'/></svg>"),
       "it holds another SVG inside itself, which the import does not draw"},
      {"bomb.svgz", Gzipped(SvgOpening(64, 48) + "<desc>", size_t{64} << 20, "</desc></svg>"),
       "it unpacks to more than 8,388,608 bytes of SVG, the most the import takes"},
      {"frame.gif", HugeFrameGif(),
       "its frame 1 is 65,535 x 65,535 pixels, too large: the import takes up to 67,108,864 pixels"},
      {"huge.tiff", test::TiffHeaderOnly(100000, 100000, 1),
       "at 100,000 x 100,000 pixels it is too large: the import takes up to 67,108,864 pixels"},
      {"huge.png", PngHeaderOnly(100000, 100000),
       "at 100,000 x 100,000 pixels it is too large: the import takes up to 67,108,864 pixels"},
      {"embedded.svg", test::ToBytes(SvgOpening(64, 48) + image + "data:image/png;base64," + png + "'/></svg>"), ""},
      {"text.svg", test::ToBytes(text_svg), ""},
      {"text.svgz", Gzipped(text_svg, 0, ""), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    WriteBytes(Path(c.file), c.bytes);
    const auto check = [&]() -> std::string {
      try {
        const DecodedPicture decoded = ReadPicture(Path(c.file));
        if (!c.refusal.empty()) return "read, not refused";
        if (decoded.image.isNull()) return "no picture";
        // The text is drawn: dark pixels on the white ground.
        int dark = 0;
        const QImage rgb = decoded.image.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < rgb.height(); ++y) {
          for (int x = 0; x < rgb.width(); ++x) dark += qGray(rgb.pixel(x, y)) < 100 ? 1 : 0;
        }
        if (std::string(c.file).rfind("text", 0) == 0 && dark < 50) return "no text drawn";
        return "";
      } catch (const ImportError& e) {
        const std::string expected = "Cannot read " + Path(c.file) + " as a picture: " + c.refusal;
        return c.refusal.empty() || e.what() != expected ? std::string("refused: ") + e.what() : "";
      }
    };
    EXPECT_EXIT(
        {
          const std::string failures = LimitedCheck(check, uint64_t{512} << 20);
          TearDown();
          ExitWith(failures);
        },
        testing::ExitedWithCode(0), "");
  }
  EXPECT_FALSE(pipe.ReleasedAHungReader());
}

TEST(ParseColor, TakesHexAndNames) {
  const struct {
    const char* text;
    std::optional<Rgb> color;
  } cases[] = {
      {"#ff8000", Rgb{255, 128, 0}},
      {"#FF8000", Rgb{255, 128, 0}},
      {"navy", Rgb{0, 0, 128}},
      {"DarkSlateGray", Rgb{47, 79, 79}},
      {"#12345", std::nullopt},
      {"no such colour", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseColor(c.text), c.color);
  }
}

TEST(ImportReportText, SaysWhatWasChosen) {
  ImportReport fitted;
  fitted.source_width = 1920;
  fitted.source_height = 1080;
  fitted.placed_width = 720;
  fitted.placed_height = 405;
  fitted.fitted = true;
  fitted.colors = 187;
  fitted.first_size = 251234;
  fitted.size = 180001;
  fitted.budget = 180208;
  fitted.psnr_db = 29.456;
  fitted.psnr_seen_db = 35.104;
  EXPECT_EQ(DescribeReport(fitted),
            "Picture: 1920 x 1080, scaled to 720 x 405 and centred\n"
            "Colours: 187, no dithering, no smoothing\n"
            "Size:    180,001 of 180,208 bytes (colour table and compressed picture)\n"
            "Fit:     every colour with full dithering took 251,234 bytes; the best-looking version that fits was "
            "chosen\n"
            "PSNR:    29.46 dB against the scaled picture\n"
            "As seen: 35.10 dB, both blurred as a TV shows them (the fit is chosen by this)\n");
  EXPECT_EQ(SummarizeReport(fitted),
            "187 colours, no dithering, no smoothing, 180,001 of 180,208 bytes, PSNR 29.46 dB, as seen 35.10 dB");

  ImportReport kept;
  kept.source_width = kept.placed_width = 720;
  kept.source_height = kept.placed_height = 576;
  kept.unchanged = true;
  kept.colors = 16;
  kept.size = kept.first_size = 9876;
  kept.budget = 180208;
  EXPECT_EQ(DescribeReport(kept),
            "Picture: 720 x 576 bitmap the receivers take, kept unchanged\n"
            "Colours: 16\n"
            "Size:    9,876 of 180,208 bytes (colour table and compressed picture)\n");
  EXPECT_EQ(SummarizeReport(kept), "kept unchanged, 9,876 of 180,208 bytes");
}

TEST(ImportReportText, SaysHowStronglyThePictureWasSmoothed) {
  ImportReport report;
  report.source_width = report.placed_width = 720;
  report.source_height = report.placed_height = 576;
  report.fitted = true;
  report.colors = 256;
  report.first_size = 251234;
  report.size = 180001;
  report.budget = 180208;
  report.psnr_db = 32.004;
  report.smoothing = 1;
  const struct {
    double strength;
    const char* line;
  } cases[] = {
      {0.5625,
       "         smoothed lightly (1 pass) at 56.25% strength before its colours were reduced, which left room "
       "for more of them\n"},
      {1.0, "         smoothed lightly (1 pass) before its colours were reduced, which left room for more of them\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.strength);
    report.smoothing_strength = c.strength;
    const std::string text = DescribeReport(report);
    EXPECT_NE(text.find("chosen\n" + std::string(c.line) + "PSNR:    32.00 dB"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace kws
