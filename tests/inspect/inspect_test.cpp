// The inspector on images the tool itself made: every output of a real run
// reads back sound with its model, and damage at any layer is reported at
// that layer. Damaged inner layers are wrapped again by the real steps, so
// that the outer CRCs are right and the damage is what the inspector meets.
#include "inspect/inspect.h"

#include <filesystem>
#include <functional>

#include "driver/driver.h"
#include "format/pipeline_files.h"
#include "sample/sample_picture.h"
#include "steps/steps.h"
#include "support/model_vectors.h"
#include "support/reference_checks.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;

// The layers the steps build, innermost first.
enum class Layer { kJoined, kWelcome, kPartition, kUsb, kSerial };

class InspectTest : public test::ScratchDirTest {
 protected:
  // Runs the whole pipeline; returns the Output folder.
  std::string RunPipeline(const std::string& picture_name, const Bytes& bitmap) {
    const WorkingFolders folders = StartUp(Path("home")).folders;
    WriteBytes(Path(picture_name), bitmap);
    Driver driver(view_, folders);
    EXPECT_EQ(driver.ProcessFile(Path(picture_name)), 0);
    std::filesystem::current_path(Dir());
    return folders.output;
  }

  // Colour table joined with the gzip member, as dd writes it.
  Bytes JoinedData(const test::BitmapRecipe& recipe = {}) {
    WriteBytes("p.bmp", test::MakeBitmap(recipe));
    EXPECT_EQ(convbmp("p.bmp", "welcome.qv.colortable", "welcome.qv.raw"), 0);
    EXPECT_EQ(rawconv("welcome.qv.raw", "welcome.qv.raw2"), 0);
    EXPECT_EQ(gzip_f9("welcome.qv.raw2", "welcome.qv.raw2.gz"), 0);
    EXPECT_EQ(dd("welcome.qv.colortable", "welcome.qv.raw2.gz", "joined"), 0);
    return ReadBytes("joined");
  }

  // Wraps bytes of one layer with the steps up to the wanted layer.
  Bytes Wrap(const Bytes& bytes, Layer from, Layer to, const UsbModel& m = kUsbModel200) {
    WriteBytes("layer", bytes);
    const std::function<int32_t()> steps[] = {
        [] { return addheader("layer", "tmp2", "next"); },
        [&] { return appendbin(m.partition_size, "layer", "next"); },
        [&] { return mkusbimg(m, "layer", "next"); },
        [&] { return mkserialimg("layer", "next", m.serial_model); },
    };
    for (auto layer = static_cast<int>(from); layer < static_cast<int>(to); ++layer) {
      EXPECT_EQ(steps[layer](), 0);
      std::filesystem::rename("next", "layer");
    }
    return ReadBytes("layer");
  }

  NullRunView view_;
};

// Pixels of a generated bitmap as the receiver holds them: top row first.
Bytes TopRowFirst(const test::BitmapRecipe& recipe) {
  Bytes pixels;
  for (uint32_t row = 576; row-- > 0;) {
    for (uint32_t x = 0; x < 720; ++x) pixels.push_back(test::GeneratedPixel(recipe, x, row));
  }
  return pixels;
}

TEST_F(InspectTest, EverySixOutputsOfARunIsSoundWithItsModel) {
  const test::BitmapRecipe recipe{.seed = 9};
  const std::string output = RunPipeline("logo.bmp", test::MakeBitmap(recipe));
  for (const UsbModel& m : kUsbModels) {
    for (const char* kind : files::kOutputKinds) {
      const std::string name = files::OutputImageName("logo", m, kind);
      SCOPED_TRACE(name);
      const InspectReport report = InspectFile(output + "/" + name);
      ASSERT_TRUE(report.Sound()) << report.fault;
      const bool serial = std::string(kind).starts_with("serial");
      const uint32_t partition = m.partition_size;
      ASSERT_EQ(report.layers.size(), serial ? 7u : 6u);
      size_t i = 0;
      if (serial) {
        EXPECT_EQ(report.layers[i++], "serial update image: model name \"" + std::string(m.serial_model) +
                                          "\", payload " + std::to_string(partition + 4096) + " bytes");
      }
      EXPECT_TRUE(report.layers[i++].starts_with("USB update image: model " + std::string(m.step) + ", partition " +
                                                 std::to_string(partition) + " bytes, payload " +
                                                 std::to_string(partition) + " bytes, header CRC 0x"));
      EXPECT_TRUE(report.layers[i++].starts_with("partition image: " + std::to_string(partition) + " bytes, uses "));
      EXPECT_TRUE(report.layers[i++].starts_with("welcome image: "));
      EXPECT_EQ(report.layers[i++], "colour table: 256 colours (768 bytes)");
      EXPECT_TRUE(report.layers[i++].starts_with("gzip member: "));
      EXPECT_EQ(report.layers[i++], "picture: 720 x 576, 8 bits, every colour index within the table");
      ASSERT_TRUE(report.picture);
      EXPECT_EQ(report.picture->pixels, TopRowFirst(recipe));
      ASSERT_EQ(report.picture->palette.size(), 256u);
      EXPECT_EQ(report.picture->palette[37], test::GeneratedColor(recipe, 37));
    }
  }
}

TEST_F(InspectTest, PartitionUseIsTheWelcomeImageSize) {
  const Bytes welcome = Wrap(JoinedData(), Layer::kJoined, Layer::kWelcome);
  const InspectReport report = InspectImage(Wrap(welcome, Layer::kWelcome, Layer::kPartition, kUsbModel300));
  ASSERT_TRUE(report.Sound()) << report.fault;
  EXPECT_EQ(report.layers[0], "partition image: 180224 bytes, uses " + std::to_string(welcome.size()) +
                                  " of 180224 bytes, the rest is FF");
}

TEST_F(InspectTest, BareLayersAreRecognisedByTheirContent) {
  const Bytes welcome = Wrap(JoinedData(), Layer::kJoined, Layer::kWelcome);
  const struct {
    Layer layer;
    const char* first_line;
  } cases[] = {
      {Layer::kWelcome, "welcome image: "},
      {Layer::kPartition, "partition image: 196608 bytes"},
      {Layer::kUsb, "USB update image: model mkusbimg200"},
      {Layer::kSerial, "serial update image: model name \"kestro100s\""},
  };
  for (const auto& c : cases) {
    const InspectReport report = InspectImage(Wrap(welcome, Layer::kWelcome, c.layer));
    ASSERT_TRUE(report.Sound()) << report.fault;
    EXPECT_TRUE(report.layers.front().starts_with(c.first_line)) << report.layers.front();
    EXPECT_EQ(ReportText(report).back(), "sound");
  }
}

// Where a fault lies: the layer damaged, how, how far it is wrapped again,
// and the start of the line that must report it.
struct Damage {
  const char* name;
  Layer layer;
  std::function<void(Bytes&)> damage;
  std::string fault;  // the whole line, or its start when it ends in a CRC
};

void Flip(Bytes& bytes, size_t at) { bytes.at(at) ^= 0x01; }

// "mkusbimg200, mkusbimg300, mkusbimg400": every model's USB step.
std::string AllUsbSteps() {
  std::string steps;
  for (const test::ModelVector& v : test::kModelVectors) steps += (steps.empty() ? "" : ", ") + std::string(v.step);
  return steps;
}

TEST_F(InspectTest, EachDamageIsReportedAtItsLayer) {
  const Bytes joined = JoinedData();
  const size_t deflate_start = 768 + 26;  // colour table, gzip header and name
  const std::vector<Damage> damages = {
      {"USB header: zero fill", Layer::kUsb, [](Bytes& b) { Flip(b, 1000); },
       "USB header: zero fill at byte 1000: expected 00, found 01"},
      {"USB header: model word", Layer::kUsb, [](Bytes& b) { Flip(b, 23); },
       "USB header: model words and partition size: expected those of " + AllUsbSteps() +
           ", found 0x00010001 0x00010000 0xFF810000 0x00030000"},
      {"USB header: its CRC", Layer::kUsb, [](Bytes& b) { Flip(b, 3); }, "USB header: header CRC: expected 0x"},
      {"USB header: magic", Layer::kSerial, [](Bytes& b) { Flip(b, 64 + 4); },
       "USB header: magic: expected 46 69 6D 67, found 47 69 6D 67"},
      {"USB payload", Layer::kUsb, [](Bytes& b) { Flip(b, 4096 + 500); }, "USB header: payload CRC: expected 0x"},
      {"serial header: payload length", Layer::kSerial, [](Bytes& b) { Flip(b, 37); },
       "serial header: payload length: expected 200704 (the bytes that follow), found 200705"},
      {"serial header: fill", Layer::kSerial, [](Bytes& b) { b[50] = 0; },
       "serial header: fill at byte 50: expected FF, found 00"},
      {"serial header: model name", Layer::kSerial, [](Bytes& b) { b[1] = 'K'; },
       "serial header: model name: expected \"kestro100s\" (the name for mkusbimg200), found \"Kestro100s\""},
      {"truncated file", Layer::kSerial, [](Bytes& b) { b.resize(b.size() - 1000); },
       "serial header: payload length: expected 199704 (the bytes that follow), found 200704"},
      {"partition padding", Layer::kPartition, [](Bytes& b) { b.back() = 0x00; },
       "partition image: padding at byte 196607: expected FF, found 00"},
      {"welcome header: CRC", Layer::kWelcome, [](Bytes& b) { Flip(b, 2); }, "welcome header: CRC: expected 0x"},
      {"welcome header: word 1", Layer::kWelcome, [](Bytes& b) { Flip(b, 11); },
       "welcome header: word at byte 8: expected 1, found 0"},
      {"deflate data", Layer::kJoined, [=](Bytes& b) { b[deflate_start] = 0xFF; },
       "gzip member: deflate data: expected valid deflate data, found invalid block type after 1 bytes"},
      {"deflate data cut", Layer::kJoined, [=](Bytes& b) { b.erase(b.begin() + deflate_start + 40, b.end() - 8); },
       "gzip member: deflate data: expected a complete deflate stream, found its end missing after 48 bytes"},
      {"gzip trailer CRC", Layer::kJoined, [](Bytes& b) { Flip(b, b.size() - 8); },
       "gzip member: trailer CRC-32: expected 0x"},
      {"gzip trailer length", Layer::kJoined, [](Bytes& b) { Flip(b, b.size() - 1); },
       "gzip member: trailer length: expected 414720, found 17191936"},
      {"gzip stored name", Layer::kJoined, [](Bytes& b) { b[768 + 10] = 'W'; },
       "gzip member: stored name: expected \"welcome.qv.raw2\", found \"Welcome.qv.raw2\""},
      {"gzip time", Layer::kJoined, [](Bytes& b) { b[768 + 4] = 0; },
       "gzip member: modification time: expected 0A 99 EB 43, found 00 99 EB 43"},
      {"colour table size", Layer::kJoined, [](Bytes& b) { b.erase(b.begin()); },
       "colour table: size: expected a multiple of 3 from 3 to 768 bytes, found 767 bytes"},
      {"no gzip member", Layer::kJoined, [](Bytes& b) { b[768] = 0; },
       "gzip member: magic: expected 1F 8B 08 behind a colour table of at most 768 bytes, found none"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    Bytes bytes = Wrap(joined, Layer::kJoined, d.layer);
    d.damage(bytes);
    const InspectReport report = InspectImage(Wrap(bytes, d.layer, Layer::kSerial));
    EXPECT_FALSE(report.picture);
    EXPECT_TRUE(report.fault.starts_with(d.fault)) << report.fault;
    if (d.fault.ends_with("0x")) {
      EXPECT_NE(report.fault.find(", found 0x"), std::string::npos) << report.fault;
    }
    EXPECT_EQ(ReportText(report).back(), "fault: " + report.fault);
  }
}

TEST_F(InspectTest, SizesBeyondWhatTheModelTakesAreReported) {
  // A welcome image wrapped without its padding.
  const Bytes welcome = Wrap(JoinedData(), Layer::kJoined, Layer::kWelcome);
  WriteBytes("welcome", welcome);
  ASSERT_EQ(mkusbimg200("welcome", "usb"), 0);
  EXPECT_EQ(InspectFile("usb").fault,
            "partition image: size: expected 196608 bytes, found " + std::to_string(welcome.size()) + " bytes");

  // A welcome header counting one byte more than the smaller partition holds.
  Bytes big = test::Concat(test::Concat(test::BE32(0), test::BE32(180209)), test::Concat(test::BE32(1), test::BE32(0)));
  big.resize(16 + 180209, 0xAB);
  EXPECT_EQ(InspectImage(big).fault, "welcome header: data length: expected at most 180208, found 180209");
  // The same length inside a partition image of the smaller size.
  big.resize(180224);
  EXPECT_EQ(InspectImage(big).fault,
            "welcome header: data length: expected at most 180208 (the partition's room), found 180209");
}

TEST_F(InspectTest, PixelIndexPastTheColourTableIsReported) {
  // convbmp takes a 16-colour palette whatever indexes the pixels use.
  const test::BitmapRecipe recipe{.colors_used = 16, .palette_entries = 16};
  const InspectReport report = InspectImage(Wrap(JoinedData(recipe), Layer::kJoined, Layer::kSerial));
  const uint8_t first = test::GeneratedPixel(recipe, 0, 575);
  ASSERT_GE(first, 16);
  EXPECT_EQ(report.fault,
            "picture: colour index at row 0, column 0: expected below 16 (the colour table's entries), "
            "found " +
                std::to_string(first));
}

TEST_F(InspectTest, PaletteHoldingTheGzipMagicIsNotTakenForTheMember) {
  // A palette entry that reads 1F 8B 08, and one with the whole member header.
  Bytes joined = JoinedData();
  const Bytes fake =
      test::Concat(test::Hex("1F 8B 08 08 0A 99 EB 43 02 03"), test::ToBytes(std::string("welcome.qv.raw2") + '\0'));
  std::copy(fake.begin(), fake.end(), joined.begin() + 30);
  std::copy(fake.begin(), fake.begin() + 3, joined.begin() + 300);
  const InspectReport sound = InspectImage(Wrap(joined, Layer::kJoined, Layer::kWelcome));
  ASSERT_TRUE(sound.Sound()) << sound.fault;
  EXPECT_EQ(sound.picture->palette[10], (Rgb{0x1F, 0x8B, 0x08}));

  // Damage in the real member is still what is reported.
  joined[joined.size() - 1] ^= 1;
  EXPECT_TRUE(
      InspectImage(Wrap(joined, Layer::kJoined, Layer::kWelcome)).fault.starts_with("gzip member: trailer length"));
}

TEST_F(InspectTest, FilesOfNoFormatOrTooLargeAreRefused) {
  EXPECT_EQ(InspectImage(test::ToBytes("just some text, not an update image")).fault,
            "file: format: expected a serial update image, USB update image, partition image or welcome image, "
            "found none of these");
  EXPECT_EQ(InspectImage({}).fault.rfind("file: format:", 0), 0u);
  // A serial image of the largest partition: 0x30000 + 4096 + 64 = 200768 bytes.
  uint64_t most = 0;
  for (const test::ModelVector& v : test::kModelVectors) most = std::max<uint64_t>(most, v.partition_size + 4096 + 64);
  EXPECT_EQ(kMaxUpdateImageSize, most);
  ASSERT_TRUE(test::MakeSparseFile(Path("huge.img"), uint64_t{1} << 40));
  EXPECT_EQ(InspectFile(Path("huge.img")).fault,
            "file: too large: expected at most " + std::to_string(most) + " bytes, found 1099511627776 bytes");
  EXPECT_EQ(InspectImage(Bytes(kMaxUpdateImageSize + 1, 0xFF)).fault, "file: too large: expected at most " +
                                                                          std::to_string(most) + " bytes, found " +
                                                                          std::to_string(most + 1) + " bytes");
  EXPECT_EQ(InspectFile(Path("missing.img")).fault,
            "Cannot open file " + Path("missing.img") + ": No such file or directory");
}

// A run's decode cache changes nothing in what the inspector says: data that
// differs in any byte, a palette entry of the same size included, is decoded
// again, and damaged data is never taken for the sound data before it.
TEST_F(InspectTest, ADecodeCacheGivesTheReportsOfNone) {
  const Bytes joined = JoinedData();
  Bytes other_palette = joined;
  other_palette[5] ^= 0x40;  // a colour of the table, same length
  Bytes damaged = joined;
  damaged[damaged.size() - 8] ^= 0x01;  // the trailer CRC
  const Bytes a = Wrap(joined, Layer::kJoined, Layer::kSerial);
  const Bytes b = Wrap(other_palette, Layer::kJoined, Layer::kSerial);
  const Bytes bad = Wrap(damaged, Layer::kJoined, Layer::kSerial);
  WelcomeDecodeCache cache;
  for (const Bytes* image : {&a, &a, &bad, &a, &b, &a, &bad}) {
    const InspectReport cached = InspectImage(*image, &cache);
    const InspectReport fresh = InspectImage(*image);
    EXPECT_EQ(cached.fault, fresh.fault);
    EXPECT_EQ(cached.layers, fresh.layers);
    ASSERT_EQ(cached.picture.has_value(), fresh.picture.has_value());
    if (fresh.picture) {
      EXPECT_EQ(cached.picture->palette, fresh.picture->palette);
      EXPECT_EQ(cached.picture->pixels, fresh.picture->pixels);
    }
  }
  EXPECT_NE(InspectImage(a, &cache).picture->palette, InspectImage(b, &cache).picture->palette);
  EXPECT_EQ(FindFault(Path("missing.img"), &cache), InspectFile(Path("missing.img")).fault);
}

// The picture taken out of an image, made into images again, gives the same
// six files byte for byte.
TEST_F(InspectTest, ExtractedPictureMakesTheSameSixImages) {
  Picture8 few_colours;
  few_colours.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  few_colours.pixels.resize(kPictureBytes);
  for (size_t i = 0; i < kPictureBytes; ++i) few_colours.pixels[i] = static_cast<uint8_t>((i / 97) % 5);
  const struct {
    const char* name;
    Bytes bitmap;
  } originals[] = {
      {"generated, colours used 0", test::MakeBitmap({.seed = 4})},
      {"five colours", EncodeBitmap8(few_colours)},
      {"sample", EncodeBitmap8(MakeSamplePicture())},
  };
  for (const auto& original : originals) {
    SCOPED_TRACE(original.name);
    const std::string output = RunPipeline("first.bmp", original.bitmap);
    const std::string first = files::OutputImageName("first", kUsbModel300, files::kSerialImage);
    const InspectReport report = InspectFile(output + "/" + first);
    ASSERT_TRUE(report.picture) << report.fault;
    RunPipeline("again.bmp", EncodeBitmap8(*report.picture));
    for (const UsbModel& m : kUsbModels) {
      for (const char* kind : files::kOutputKinds) {
        EXPECT_EQ(ReadBytes(output + "/" + files::OutputImageName("again", m, kind)),
                  ReadBytes(output + "/" + files::OutputImageName("first", m, kind)))
            << m.tag << kind;
      }
    }
  }
}

// A picture given to the inspector is told what to do next in each front
// end's words: the command line's commands, or the page's drop target.
TEST_F(InspectTest, APictureIsToldWhatToDoInEachFrontEndsWords) {
  WriteBytes(Path("logo.bmp"), test::MakeBitmap({}));
  const InspectReport bitmap = InspectFile(Path("logo.bmp"));
  const struct {
    AdviceWords words;
    const char* verdict;
  } cases[] = {
      {AdviceWords::kCommandLine, "this is a bitmap, not an update image \u2014 use make"},
      {AdviceWords::kPage,
       "this is a bitmap, not an update image \u2014 drop it on 1 Your picture to make its update "
       "images"},
  };
  for (const auto& c : cases) EXPECT_EQ(VerdictLine(bitmap, c.words), c.verdict);
  EXPECT_EQ(VerdictLine(bitmap), VerdictLine(bitmap, AdviceWords::kCommandLine));
}

}  // namespace
}  // namespace kws
