#include "driver/driver.h"

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "fileio/file.h"
#include "format/pipeline_files.h"
#include "format/receiver_models.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "preview/preview_loader.h"
#include "support/model_vectors.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::FilesIn;
using test::ReadBytes;
using test::WriteBytes;

// A window stand-in that records what the driver asked of it.
class RecordingView : public RunView {
 public:
  std::string ShowPicture(const std::string& path) override {
    calls.push_back("show " + path);
    return CheckPreview(path);
  }
  void SetStatus(const std::string& text) override {
    calls.push_back("status " + text);
    status = text;
  }
  void ProcessEvents() override {
    calls.push_back("events");
    if (on_events) on_events();
  }
  void SetGoEnabled(bool enabled) override { calls.push_back(enabled ? "enable" : "disable"); }
  void SetBusyCursor(bool busy) override { calls.push_back(busy ? "busy" : "normal"); }
  void ShowMessage(const std::string& text) override { calls.push_back("message " + text); }

  std::vector<std::string> calls;
  std::string status;
  std::function<void()> on_events;
};

class DriverTest : public test::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    folders_ = StartUp(Path("home")).folders;
    driver_ = std::make_unique<Driver>(view_, folders_);
    fs::create_directory(Path("elsewhere"));
    fs::current_path(Path("elsewhere"));
  }

  std::string Picture(const std::string& name, const test::BitmapRecipe& recipe = {}) {
    WriteBytes(Path(name), test::MakeBitmap(recipe));
    return Path(name);
  }
  // The log's messages after start-up's caption line.
  std::vector<std::string> RunLog() const {
    const std::vector<std::string> all = test::LogMessagesIn(folders_.log_file);
    return {all.begin() + 1, all.end()};
  }
  // The two images of every model of the table.
  std::vector<std::string> OutputsFor(const std::string& base) const {
    std::vector<std::string> names;
    for (const UsbModel& model : kUsbModels)
      for (const char* kind : files::kOutputKinds) names.push_back(files::OutputImageName(base, model, kind));
    std::sort(names.begin(), names.end());
    return names;
  }

  WorkingFolders folders_;
  RecordingView view_;
  std::unique_ptr<Driver> driver_;
};

TEST_F(DriverTest, GoodPictureMakesSixImagesWithThirteenLogLines) {
  const std::string picture = Picture("logo.bmp");
  const std::string cwd = fs::current_path().string();
  ASSERT_EQ(driver_->ProcessFile(picture), 0);

  EXPECT_EQ(RunLog(), (std::vector<std::string>{
                          "convbmp: Ret=0, In=" + picture + ", Out=welcome.qv.colortable, Out=welcome.qv.raw",
                          "rawconv: Ret=0, In=welcome.qv.raw, Out=welcome.qv.raw2",
                          "gzip_f9: Ret=0, In=welcome.qv.raw2, Out=welcome.qv.raw2.gz",
                          "dd: Ret=0, In=welcome.qv.colortable, In=welcome.qv.raw2.gz, Out=welcome.tmp",
                          "addheader: Ret=0, In=welcome.tmp, Out=welcome.tmp2, Out=welcome",
                          "appendbin: Ret=0, In=$30000, In=welcome, Out=part_welcome.img",
                          "mkusbimg200: Ret=0, In=part_welcome.img, Out=usb_welcome.img",
                          "mkserialimg: Ret=0, In=usb_welcome.img, In=kestro100s, Out=serial_welcome.img",
                          "mkusbimg400: Ret=0, In=part_welcome.img, Out=usb_welcome.img",
                          "mkserialimg: Ret=0, In=usb_welcome.img, In=kestro400, Out=serial_welcome.img",
                          "appendbin: Ret=0, In=$2c000, In=welcome, Out=part_welcome.img",
                          "mkusbimg300: Ret=0, In=part_welcome.img, Out=usb_welcome.img",
                          "mkserialimg: Ret=0, In=usb_welcome.img, In=QuorvatelMurraTwin8M, Out=serial_welcome.img",
                      }));
  EXPECT_EQ(FilesIn(folders_.output), OutputsFor("logo"));
  EXPECT_EQ(FilesIn(folders_.temp), std::vector<std::string>{"serial_welcome.img"});
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"show " + picture, "status " + picture, "events",
                                                   "status done! see log for details...", "events"}));
  EXPECT_EQ(fs::current_path().string(), cwd);

  // Sizes: partition 0x30000 or 0x2C000, + 4096 for USB, + 64 for serial.
  const auto size_of = [&](const std::string& suffix) { return fs::file_size(folders_.output + "/logo" + suffix); };
  EXPECT_EQ(size_of("_borvik200_usb_welcome.img"), 0x30000u + 4096);
  EXPECT_EQ(size_of("_kestro400_serial_welcome.img"), 0x30000u + 4096 + 64);
  EXPECT_EQ(size_of("_kestro300_usb_welcome.img"), 0x2C000u + 4096);
  // The serial image left in Temp is the last model's.
  EXPECT_EQ(ReadBytes(folders_.temp + "/serial_welcome.img"),
            ReadBytes(folders_.output + "/logo_kestro300_serial_welcome.img"));
}

// A picture named relative to the current folder is found there, although
// the chain runs in Temp; every place the run names it gives the whole path.
TEST_F(DriverTest, RelativePictureNameIsTakenFromTheCurrentFolder) {
  const std::string picture = Picture("logo.bmp");
  fs::current_path(Dir());
  ASSERT_EQ(driver_->ProcessFile("logo.bmp"), 0) << ::testing::PrintToString(RunLog());
  EXPECT_EQ(FilesIn(folders_.output), OutputsFor("logo"));
  EXPECT_EQ(RunLog().front(), "convbmp: Ret=0, In=" + picture + ", Out=welcome.qv.colortable, Out=welcome.qv.raw");
  EXPECT_EQ(view_.calls.front(), "show " + picture);
  EXPECT_EQ(fs::current_path().string(), Dir());

  // A relative name that is not there is reported under its whole path.
  ASSERT_EQ(driver_->ProcessFile("./gone.bmp"), -99);
  EXPECT_EQ(RunLog().back().rfind("ERROR: ProcessFile(" + Path("gone.bmp") + "), Msg=", 0), 0u) << RunLog().back();
}

// What stopped a picture reaches the view as a record: the step, its code
// and the line the log got, and for convbmp the rule it found broken.
TEST_F(DriverTest, EachPictureOutcomeCarriesWhatStoppedIt) {
  struct OutcomeView : RecordingView {
    void PictureDone(const PictureOutcome& outcome) override { outcomes.push_back(outcome); }
    std::vector<PictureOutcome> outcomes;
  } view;
  Driver driver(view, folders_);
  test::BitmapRecipe compressed;
  compressed.compression = 1;
  const std::string good = Picture("good.bmp");
  const std::string rle = Picture("rle.bmp", compressed);
  driver.RunPictures({good, rle, Path("sub/rle.bmp")});
  ASSERT_EQ(view.outcomes.size(), 3u);
  EXPECT_TRUE(view.outcomes[0].Made());
  EXPECT_FALSE(view.outcomes[0].failure);

  ASSERT_TRUE(view.outcomes[1].failure);
  const StepFailure& refused = *view.outcomes[1].failure;
  EXPECT_EQ(view.outcomes[1].result, -12);
  EXPECT_EQ(refused.operation, "convbmp");
  EXPECT_EQ(refused.code, -12);
  EXPECT_EQ(refused.cause, FailureCause::kBrokenRule);
  EXPECT_EQ(refused.broken_rule, BitmapRule::kUncompressed);
  EXPECT_EQ(refused.line, "ERROR: compression not supported!");
  const std::vector<std::string> log = RunLog();
  EXPECT_NE(std::find(log.begin(), log.end(), refused.line), log.end());

  // The same base name again: refused before the pipeline, with its own record.
  ASSERT_TRUE(view.outcomes[2].failure);
  EXPECT_EQ(view.outcomes[2].failure->cause, FailureCause::kSameBaseName);
  EXPECT_EQ(view.outcomes[2].failure->line, log.back());
}

// A run goes through the table of models in its run order: each model's
// lines, its two images of the sizes its vector gives, each read back as that
// model's. A model added to the table is covered here by its vector.
TEST_F(DriverTest, EveryModelOfTheTableGetsItsLinesAndImages) {
  const std::string picture = Picture("logo.bmp", {.seed = 5});
  ASSERT_EQ(driver_->ProcessFile(picture), 0);
  const std::vector<std::string> log = RunLog();
  std::vector<std::string> expected(log.begin(), log.begin() + 5);  // convbmp to addheader
  std::vector<test::ModelVector> in_run_order(std::begin(test::kModelVectors), std::end(test::kModelVectors));
  std::sort(in_run_order.begin(), in_run_order.end(),
            [](const auto& a, const auto& b) { return a.run_position < b.run_position; });
  ASSERT_EQ(in_run_order.size(), kUsbModels.size());
  uint32_t partition_made = 0;
  for (const test::ModelVector& v : in_run_order) {
    SCOPED_TRACE(v.receiver);
    if (v.partition_size != partition_made) {
      expected.push_back("appendbin: Ret=0, In=" + std::string(v.size_text) + ", In=welcome, Out=part_welcome.img");
      partition_made = v.partition_size;
    }
    expected.push_back(std::string(v.step) + ": Ret=0, In=part_welcome.img, Out=usb_welcome.img");
    expected.push_back("mkserialimg: Ret=0, In=usb_welcome.img, In=" + std::string(v.serial_name) +
                       ", Out=serial_welcome.img");

    const std::string base = folders_.output + "/logo_" + v.receiver;
    EXPECT_EQ(fs::file_size(base + "_usb_welcome.img"), v.partition_size + 4096u);
    EXPECT_EQ(fs::file_size(base + "_serial_welcome.img"), v.partition_size + 4096u + 64u);
    const InspectReport serial = InspectFile(base + "_serial_welcome.img");
    ASSERT_TRUE(serial.Sound()) << serial.fault;
    EXPECT_EQ(serial.layers[0].rfind("serial update image: model name \"" + std::string(v.serial_name) + "\"", 0), 0u);
    EXPECT_EQ(serial.layers[1].rfind("USB update image: model " + std::string(v.step) + ",", 0), 0u);
  }
  EXPECT_EQ(log, expected);
}

TEST_F(DriverTest, RejectedBitmapStopsAfterOneLineAndEmptiesTemp) {
  WriteBytes(folders_.temp + "/serial_welcome.img", {7});  // an earlier run's
  WriteBytes(folders_.temp + "/welcome.tmp", {7});
  test::BitmapRecipe small;
  small.width = 640;
  small.height = 480;
  const std::string picture = Picture("small.bmp", small);
  EXPECT_EQ(driver_->ProcessFile(picture), -13);
  EXPECT_EQ(RunLog(), (std::vector<std::string>{
                          "ERROR: Bitmap must have 720x576 pixels! cx=640, cy=480",
                          "convbmp: Ret=-13, In=" + picture + ", Out=welcome.qv.colortable, Out=welcome.qv.raw"}));
  EXPECT_TRUE(FilesIn(folders_.output).empty());
  EXPECT_EQ(FilesIn(folders_.temp), std::vector<std::string>{"serial_welcome.img"});
  EXPECT_EQ(view_.status, kStatusDoneWithErrors);
}

TEST_F(DriverTest, BaseNameKeepsAllButTheLastExtension) {
  EXPECT_EQ(BaseName("/x/a.b.bmp"), "a.b");
  EXPECT_EQ(BaseName("/x/noext"), "noext");
  EXPECT_EQ(BaseName("/x.y/logo.BMP"), "logo");
  ASSERT_EQ(driver_->ProcessFile(Picture("a.b.bmp")), 0);
  EXPECT_EQ(FilesIn(folders_.output), OutputsFor("a.b"));
}

TEST_F(DriverTest, SecondRunReplacesTheOutputs) {
  test::BitmapRecipe first, second;
  second.seed = 42;
  ASSERT_EQ(driver_->ProcessFile(Picture("logo.bmp", first)), 0);
  const Bytes before = ReadBytes(folders_.output + "/logo_kestro300_usb_welcome.img");
  ASSERT_EQ(driver_->ProcessFile(Picture("logo.bmp", second)), 0);
  EXPECT_EQ(FilesIn(folders_.output), OutputsFor("logo"));
  EXPECT_NE(ReadBytes(folders_.output + "/logo_kestro300_usb_welcome.img"), before);
}

TEST_F(DriverTest, EmptyPathChangesNothing) {
  const auto log_before = ReadBytes(folders_.log_file);
  EXPECT_EQ(driver_->ProcessFile(""), -1);
  EXPECT_TRUE(view_.calls.empty());
  EXPECT_EQ(ReadBytes(folders_.log_file), log_before);
}

TEST_F(DriverTest, FileThatIsNoPictureIsMinus99WithDirectoryUnchanged) {
  WriteBytes(Path("notes.bmp"), test::ToBytes("just some text, not a bitmap"));
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(driver_->ProcessFile(Path("notes.bmp")), -99);
  const auto log = RunLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("ERROR: ProcessFile(" + Path("notes.bmp") + "), Msg=", 0), 0u) << log[0];
  EXPECT_EQ(view_.status.rfind("ERROR: ", 0), 0u);
  EXPECT_GT(view_.status.size(), 7u);
  EXPECT_EQ(fs::current_path().string(), cwd);
  EXPECT_TRUE(FilesIn(folders_.temp).empty());
}

TEST_F(DriverTest, OutputThatCannotBeWrittenFailsTheRunAndKeepsEarlierImages) {
  ASSERT_EQ(driver_->ProcessFile(Picture("logo.bmp")), 0);
  std::map<std::string, Bytes> earlier;
  for (const auto& name : OutputsFor("logo")) earlier[name] = ReadBytes(folders_.output + "/" + name);
  // A folder under the name of the third image: its copy cannot replace it.
  const std::string blocked = folders_.output + "/logo_kestro400_usb_welcome.img";
  fs::remove(blocked);
  fs::create_directory(blocked);

  test::BitmapRecipe other;
  other.seed = 77;
  EXPECT_EQ(driver_->ProcessFile(Picture("logo.bmp", other)), -99);
  const auto log = RunLog();
  EXPECT_EQ(log.back().rfind("ERROR: CopyFile(" + blocked + "), Msg=", 0), 0u) << log.back();
  EXPECT_EQ(log[log.size() - 2], "mkusbimg400: Ret=0, In=part_welcome.img, Out=usb_welcome.img");
  EXPECT_EQ(view_.status, kStatusDoneWithErrors);
  // Images of the first run that were not reached are unchanged; nothing half-written is left.
  for (const char* untouched :
       {"logo_kestro400_serial_welcome.img", "logo_kestro300_usb_welcome.img", "logo_kestro300_serial_welcome.img"}) {
    EXPECT_EQ(ReadBytes(folders_.output + "/" + untouched), earlier[untouched]) << untouched;
  }
  EXPECT_NE(ReadBytes(folders_.output + "/logo_borvik200_usb_welcome.img"), earlier["logo_borvik200_usb_welcome.img"]);
  for (const auto& name : FilesIn(folders_.output)) EXPECT_EQ(name.find(kTemporaryPrefix), std::string::npos) << name;
  EXPECT_EQ(FilesIn(folders_.temp), std::vector<std::string>{"serial_welcome.img"});
}

TEST_F(DriverTest, OutputFolderReplacedByAFileFailsTheFirstCopy) {
  fs::remove(folders_.output);
  WriteBytes(folders_.output, {0});
  EXPECT_EQ(driver_->ProcessFile(Picture("logo.bmp")), -99);
  const auto log = RunLog();
  EXPECT_EQ(log.back(), "ERROR: CopyFile(" + folders_.output +
                            "/logo_borvik200_usb_welcome.img), Msg=Cannot create file " + folders_.output +
                            "/logo_borvik200_usb_welcome.img");
  EXPECT_EQ(log.size(), 8u);  // seven steps, then the copy
}

// Every copied image is read back; one that is not sound ends the run.
TEST_F(DriverTest, ImageThatDoesNotReadBackSoundFailsTheRunAndNeverLands) {
  ASSERT_EQ(driver_->ProcessFile(Picture("logo.bmp")), 0);
  const std::string damaged = folders_.output + "/logo_kestro400_usb_welcome.img";
  const Bytes earlier = ReadBytes(damaged);
  // The third copy is damaged on the disk before it is read back.
  std::vector<std::string> checked;
  driver_->SetImageCheck([&](const std::string& written) {
    checked.push_back(written);
    if (checked.size() == 3) {
      Bytes bytes = ReadBytes(written);
      bytes.at(4096 + 10) ^= 0x01;
      WriteBytes(written, bytes);
    }
    return CheckUpdateImage(written);
  });
  EXPECT_EQ(driver_->ProcessFile(Picture("logo.bmp", {.seed = 31})), -99);
  const auto log = RunLog();
  EXPECT_EQ(log.back().rfind("ERROR: Verify(" + damaged + "), Msg=USB header: payload CRC: expected 0x", 0), 0u)
      << log.back();
  EXPECT_EQ(log[log.size() - 2], "mkusbimg400: Ret=0, In=part_welcome.img, Out=usb_welcome.img");
  ASSERT_EQ(checked.size(), 3u);
  // read back under a temporary name beside it, before taking its own
  EXPECT_EQ(checked[2].rfind(folders_.output + "/" + kTemporaryPrefix, 0), 0u);
  EXPECT_EQ(view_.status, kStatusDoneWithErrors);
  EXPECT_EQ(ReadBytes(damaged), earlier);  // the earlier image stays; the damaged one never lands
  EXPECT_EQ(FilesIn(folders_.output), OutputsFor("logo"));
  EXPECT_EQ(FilesIn(folders_.temp), std::vector<std::string>{"serial_welcome.img"});
}

// convbmp takes a palette shorter than the pixels' indexes; the image made of
// it does not read back sound, so the run says so at its first copy.
TEST_F(DriverTest, PixelsPastThePaletteFailTheFirstReadBack) {
  const test::BitmapRecipe recipe{.colors_used = 16, .palette_entries = 16};
  EXPECT_EQ(driver_->ProcessFile(Picture("few.bmp", recipe)), -99);
  const auto log = RunLog();
  EXPECT_EQ(log.size(), 8u);
  EXPECT_EQ(
      log.back().rfind("ERROR: Verify(" + folders_.output +
                           "/few_borvik200_usb_welcome.img), Msg=picture: "
                           "colour index at row 0, column 0: expected below 16 (the colour table's entries), found ",
                       0),
      0u)
      << log.back();
  EXPECT_EQ(view_.status, kStatusDoneWithErrors);
}

TEST_F(DriverTest, BatchProcessesEveryBitmapInInputSortedAndSkipsTheRest) {
  const std::string& in = folders_.input;
  WriteBytes(in + "/b.BMP", test::MakeBitmap());
  WriteBytes(in + "/a.bmp", test::MakeBitmap());
  WriteBytes(in + "/c.bmp", test::ToBytes("broken"));
  WriteBytes(in + "/z.bmp", test::MakeBitmap());
  ::chmod((in + "/z.bmp").c_str(), 0444);
  WriteBytes(in + "/.y.bmp", test::MakeBitmap());
  WriteBytes(in + "/readme.txt", {1});
  fs::create_directory(in + "/x.bmp");

  const RunSummary summary = driver_->RunOneClick();
  EXPECT_EQ(summary.pictures, 4);
  EXPECT_EQ(summary.failed, 1);
  std::vector<std::string> batch_lines;
  for (const auto& line : RunLog()) {
    if (line.rfind("MultiProcessing", 0) == 0 || line.rfind("ERROR: ProcessFile", 0) == 0) batch_lines.push_back(line);
  }
  ASSERT_EQ(batch_lines.size(), 5u);
  EXPECT_EQ(batch_lines[0], "MultiProcessing: Input file a.bmp");
  EXPECT_EQ(batch_lines[1], "MultiProcessing: Input file b.BMP");
  EXPECT_EQ(batch_lines[2], "MultiProcessing: Input file c.bmp");
  EXPECT_EQ(batch_lines[3].rfind("ERROR: ProcessFile(" + in + "/c.bmp), Msg=", 0), 0u);
  EXPECT_EQ(batch_lines[4], "MultiProcessing: Input file z.bmp");

  std::vector<std::string> expected;
  for (const char* base : {"a", "b", "z"})
    for (const auto& name : OutputsFor(base)) expected.push_back(name);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(folders_.output), expected);
  EXPECT_EQ(FilesIn(in),
            (std::vector<std::string>{".y.bmp", "a.bmp", "b.BMP", "c.bmp", "readme.txt", "x.bmp", "z.bmp"}));
  EXPECT_EQ(view_.status, kStatusNoMoreFiles);
  EXPECT_EQ(view_.calls.front(), "disable");
  EXPECT_EQ(view_.calls[1], "busy");
  EXPECT_EQ(view_.calls[view_.calls.size() - 2], "enable");
  EXPECT_EQ(view_.calls.back(), "normal");
  // The preview shows the last picture the pipeline loaded.
  std::string last_shown;
  for (const auto& c : view_.calls)
    if (c.rfind("show ", 0) == 0) last_shown = c;
  EXPECT_EQ(last_shown, "show " + in + "/z.bmp");
}

TEST_F(DriverTest, EmptyInputLogsNothing) {
  const auto log_before = ReadBytes(folders_.log_file);
  const RunSummary summary = driver_->RunOneClick();
  EXPECT_EQ(summary.pictures, 0);
  EXPECT_EQ(ReadBytes(folders_.log_file), log_before);
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"disable", "busy", "status " + std::string(kStatusNoMoreFiles),
                                                   "events", "enable", "normal"}));
}

TEST_F(DriverTest, OpenedPictureIsProcessedInsteadOfInput) {
  WriteBytes(folders_.input + "/in.bmp", test::MakeBitmap());
  driver_->SetOpenedPicture(Picture("opened.bmp"));
  const RunSummary summary = driver_->RunOneClick();
  EXPECT_EQ(summary.pictures, 1);
  EXPECT_EQ(summary.failed, 0);
  EXPECT_EQ(FilesIn(folders_.output), OutputsFor("opened"));
  EXPECT_EQ(view_.status, kStatusDone);
}

TEST_F(DriverTest, OpenedPictureDeletedBeforeTheClickProcessesNothing) {
  WriteBytes(folders_.input + "/in.bmp", test::MakeBitmap());
  driver_->SetOpenedPicture(Path("gone.bmp"));
  const auto log_before = ReadBytes(folders_.log_file);
  driver_->RunOneClick();
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"disable", "busy", "enable", "normal"}));
  EXPECT_EQ(ReadBytes(folders_.log_file), log_before);
  EXPECT_TRUE(FilesIn(folders_.output).empty());
}

TEST_F(DriverTest, DirectoryThatCannotBeRestoredIsReportedByTheRun) {
  // The run's own working directory vanishes while the pipeline works.
  fs::create_directory(Path("doomed"));
  fs::current_path(Path("doomed"));
  int events = 0;
  view_.on_events = [&] {
    if (++events == 2) fs::remove(Path("doomed"));
  };
  driver_->SetOpenedPicture(Picture("logo.bmp"));
  const RunSummary summary = driver_->RunOneClick();
  EXPECT_TRUE(summary.error);
  const auto log = RunLog();
  EXPECT_EQ(log.back().rfind("ERROR: OneClick(), Msg=", 0), 0u) << log.back();
  EXPECT_EQ(view_.status.rfind("ERROR: ", 0), 0u);
  EXPECT_EQ(view_.calls[view_.calls.size() - 3], "enable");
  EXPECT_EQ(view_.calls[view_.calls.size() - 2], "normal");
  fs::current_path(Dir());
}

}  // namespace
}  // namespace kws
