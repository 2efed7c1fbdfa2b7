// File-system faults while the tool works: a full disk, folders that vanish,
// a locked or missing log, pictures that change under the run, and two runs
// on the same working folders. None may crash the tool or leave a damaged
// image under a final name.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "cli/cli.h"
#include "driver/driver.h"
#include "fileio/file.h"
#include "format/pipeline_files.h"
#include "format/receiver_models.h"
#include "log/activity_log.h"
#include "preview/preview_loader.h"
#include "steps/steps.h"
#include "support/model_vectors.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;

// Files may grow to at most `bytes` while it lives: a full disk for this
// process only. The signal the kernel would send is ignored so that the
// write simply fails.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  struct rlimit saved_ {};
  void (*old_handler_)(int) = nullptr;
};

class HeadlessView : public NullRunView {
 public:
  std::string ShowPicture(const std::string& path) override { return CheckPreview(path); }
  void SetStatus(const std::string& text) override { status = text; }
  void ProcessEvents() override {
    if (on_events) on_events();
  }
  std::string status;
  std::function<void()> on_events;
};

class Faults : public test::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    SetLogListener([this](std::string_view m, std::string_view note) {
      messages_.emplace_back(m);
      notes_.emplace_back(note);
    });
  }
  void StartHome() {
    folders_ = StartUp(Path("home")).folders;
    driver_ = std::make_unique<Driver>(view_, folders_);
    messages_.clear();
    notes_.clear();
  }
  bool HasMessageStartingWith(const std::string& prefix) const {
    for (const auto& m : messages_)
      if (m.rfind(prefix, 0) == 0) return true;
    return false;
  }
  std::map<std::string, Bytes> OutputFiles() const { return test::FilesWithBytes(folders_.output); }

  std::vector<std::string> messages_;
  std::vector<std::string> notes_;  // each message's note, as the listener was given it
  WorkingFolders folders_;
  HeadlessView view_;
  std::unique_ptr<Driver> driver_;
};

TEST_F(Faults, FullDiskDuringEachStepGivesItsErrorCode) {
  ASSERT_NO_FATAL_FAILURE(test::MakeChainFiles());
  struct Case {
    const char* step;
    std::function<int32_t()> run;
    int32_t code;
    std::string line;  // empty: the step logs nothing itself
  };
  const Case cases[] = {
      {"convbmp", [] { return convbmp("in.bmp", "o1", "o2"); }, -99, "ERROR: convbmp(), Msg=Stream write error"},
      {"rawconv", [] { return rawconv("raw", "o"); }, -99, "ERROR: rawconv(), Msg=Stream write error"},
      {"gzip_f9", [] { return gzip_f9("raw2", "o"); }, 103, ""},
      {"dd", [] { return dd("ct", "raw2.gz", "o"); }, -99, "ERROR: dd(), Msg=Stream write error"},
      {"addheader", [] { return addheader("tmp", "o1", "o2"); }, -99, "ERROR: addheader(), Msg=Stream write error"},
      {"appendbin", [] { return appendbin(0x30000, "welcome", "o"); }, -99,
       "ERROR: appendbin(), Msg=Stream write error"},
      {"mkusbimg200", [] { return mkusbimg200("part", "o"); }, -99, "ERROR: mkusbimg200(), Msg=Stream write error"},
      {"mkserialimg", [] { return mkserialimg("usb", "o", "kestro400"); }, -99,
       "ERROR: mkserialimg(), Msg=Stream write error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    messages_.clear();
    int32_t code;
    {
      const FileSizeLimit full(64);
      code = c.run();
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(messages_, c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
  }
}

// The chain keeps its intermediates in memory: a fault that once stopped an
// early step now shows at the first write that fails, with the line of the
// step or copy that writes there. The line is the platform's text alone; the
// system's reason goes beside it to the listener, for the user's eyes.
TEST_F(Faults, AFaultInARunShowsAtTheFirstWriteThatFails) {
  struct Case {
    const char* what;
    std::function<void(const WorkingFolders&)> damage;
    rlim_t file_size_limit;  // 0: none
    std::vector<std::string> last_lines;
    std::string reason;  // the note beside the last line
    std::vector<std::string> outputs;
  };
  const std::string usb_image = files::OutputImageName("logo", kUsbModel200, files::kUsbImage);
  const Case cases[] = {
      {"Temp cannot take the serial image",
       [](const WorkingFolders& f) { fs::create_directory(f.temp + "/serial_welcome.img"); },
       0,
       {"ERROR: mkserialimg(), Msg=Cannot create file serial_welcome.img",
        "mkserialimg: Ret=-99, In=usb_welcome.img, In=kestro100s, Out=serial_welcome.img"},
       "it is not a regular file but a folder",
       {usb_image}},
      {"the disk takes no file of an image's size",
       [](const WorkingFolders&) {},
       100000,
       {"mkusbimg200: Ret=0, In=part_welcome.img, Out=usb_welcome.img",
        "ERROR: CopyFile(<output>/" + usb_image + "), Msg=Stream write error"},
       "File too large",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Path("home"));
    StartHome();
    c.damage(folders_);
    WriteBytes(Path("logo.bmp"), test::MakeBitmap());
    int32_t result;
    {
      std::optional<FileSizeLimit> full;
      if (c.file_size_limit) full.emplace(c.file_size_limit);
      result = driver_->ProcessFile(Path("logo.bmp"));
    }
    EXPECT_EQ(result, -99);
    ASSERT_GE(messages_.size(), 2u);
    std::vector<std::string> last_lines(messages_.end() - 2, messages_.end());
    for (std::string& line : last_lines) {
      const size_t at = line.find(folders_.output);
      if (at != std::string::npos) line.replace(at, folders_.output.size(), "<output>");
    }
    EXPECT_EQ(last_lines, c.last_lines);
    const auto error = std::find_if(messages_.rbegin(), messages_.rend(),
                                    [](const std::string& m) { return m.rfind("ERROR: ", 0) == 0; });
    ASSERT_NE(error, messages_.rend());
    EXPECT_EQ(notes_[messages_.size() - 1 - (error - messages_.rbegin())], c.reason);
    std::vector<std::string> outputs;
    for (const auto& [name, bytes] : OutputFiles()) outputs.push_back(name);
    EXPECT_EQ(outputs, c.outputs);
    EXPECT_EQ(view_.status, kStatusDoneWithErrors);
  }
}

TEST_F(Faults, FullDiskLosesLogEntriesQuietly) {
  ASSERT_TRUE(WriteLog("before"));
  const auto before = ReadBytes(Path("test.log"));
  {
    const FileSizeLimit full(before.size());
    EXPECT_FALSE(WriteLog("lost"));
  }
  EXPECT_EQ(ReadBytes(Path("test.log")), before);
}

TEST_F(Faults, FullOutputFileSystemKeepsEarlierImagesWhole) {
  StartHome();
  // A small file system of its own as Output: room for one picture's images
  // and a little more.
  uint64_t one_picture = 0;
  for (const test::ModelVector& v : test::kModelVectors) one_picture += 2 * (v.partition_size + 4096) + 64;
  const std::string size = "size=" + std::to_string((one_picture + one_picture / 4) / 1024) + "k";
  if (::mount("tmpfs", folders_.output.c_str(), "tmpfs", 0, size.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{folders_.output};

  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  ASSERT_EQ(driver_->ProcessFile(Path("logo.bmp")), 0);
  const auto first = OutputFiles();
  ASSERT_EQ(first.size(), test::kImagesPerPicture);

  WriteBytes(Path("other.bmp"), test::MakeBitmap({.seed = 9}));
  EXPECT_EQ(driver_->ProcessFile(Path("other.bmp")), -99);
  EXPECT_TRUE(HasMessageStartingWith("ERROR: CopyFile(" + folders_.output + "/other_"));
  EXPECT_EQ(view_.status, kStatusDoneWithErrors);
  // The first picture's images are untouched; of the second only whole images exist.
  const auto after = OutputFiles();
  for (const auto& [name, bytes] : first) EXPECT_EQ(after.at(name), bytes) << name;
  for (const auto& [name, bytes] : after) {
    EXPECT_EQ(name.find(".partial-"), std::string::npos) << name;
    if (name.rfind("other_", 0) == 0) {
      // Only the first model's images can have found room.
      const uint32_t first_partition = ModelsInRunOrder()[0]->partition_size;
      EXPECT_TRUE(bytes.size() == first_partition + 4096 || bytes.size() == first_partition + 4096 + 64) << name;
    }
  }
}

TEST_F(Faults, FoldersThatVanishDuringABatchAreReportedAndTheBatchGoesOn) {
  struct Case {
    const char* what;
    std::function<void(const WorkingFolders&)> damage;
    std::string error_prefix;
  };
  const Case cases[] = {
      {"Temp removed", [](const WorkingFolders& f) { fs::remove_all(f.temp); }, "ERROR: ProcessFile("},
      {"Output replaced by a file",
       [](const WorkingFolders& f) {
         fs::remove_all(f.output);
         WriteBytes(f.output, {0});
       },
       "ERROR: CopyFile("},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Path("home"));
    StartHome();
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) WriteBytes(folders_.input + "/" + name, test::MakeBitmap());
    int events = 0;
    // Once the first picture is done, the folder is damaged.
    view_.on_events = [&] {
      if (++events == 3) c.damage(folders_);
    };
    const RunSummary summary = driver_->RunOneClick();
    view_.on_events = nullptr;
    EXPECT_EQ(summary.pictures, 3);
    EXPECT_EQ(summary.failed, 2);
    EXPECT_FALSE(summary.error);
    EXPECT_TRUE(HasMessageStartingWith(c.error_prefix));
    EXPECT_TRUE(HasMessageStartingWith("MultiProcessing: Input file c.bmp"));
    EXPECT_EQ(view_.status, kStatusNoMoreFiles);
  }
}

TEST_F(Faults, MissingOrLockedLogDoesNotStopTheWork) {
  StartHome();
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  const int holder = ::open(folders_.log_file.c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const auto log_before = ReadBytes(folders_.log_file);
  EXPECT_EQ(driver_->ProcessFile(Path("logo.bmp")), 0);
  EXPECT_EQ(ReadBytes(folders_.log_file), log_before);  // every entry lost
  ::close(holder);

  fs::remove_all(folders_.log);
  fs::remove_all(folders_.output);
  fs::create_directory(folders_.output);
  EXPECT_EQ(driver_->ProcessFile(Path("logo.bmp")), 0);
  EXPECT_EQ(OutputFiles().size(), test::kImagesPerPicture);
  EXPECT_FALSE(fs::exists(folders_.log));
}

TEST_F(Faults, PictureThatChangesBeforeItsTurnIsReported) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> change;
    std::string error;
  };
  const Case cases[] = {
      {"deleted", [](const std::string& p) { fs::remove(p); }, "ERROR: ProcessFile("},
      {"truncated", [](const std::string& p) { fs::resize_file(p, 54 + 1024 + 7200); },
       "ERROR: convbmp(), Msg=Stream read error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Path("home"));
    StartHome();
    WriteBytes(folders_.input + "/a.bmp", test::MakeBitmap());
    WriteBytes(folders_.input + "/b.bmp", test::MakeBitmap());
    bool changed = false;
    view_.on_events = [&] {
      if (!changed) c.change(folders_.input + "/b.bmp");
      changed = true;
    };
    const RunSummary summary = driver_->RunOneClick();
    view_.on_events = nullptr;
    EXPECT_EQ(summary.pictures, 2);
    EXPECT_EQ(summary.failed, 1);
    EXPECT_TRUE(HasMessageStartingWith(c.error));
    EXPECT_EQ(OutputFiles().size(), test::kImagesPerPicture);  // a.bmp's
  }
}

TEST_F(Faults, PictureGrownToTwoGigabytesIsRefusedWithoutReadingIt) {
  StartHome();
  const std::string picture = folders_.input + "/huge.bmp";
  WriteBytes(picture, test::MakeBitmap());
  fs::resize_file(picture, uintmax_t{2} << 30);  // sparse: the disk does not fill
  struct rusage before {};
  ::getrusage(RUSAGE_SELF, &before);
  const RunSummary summary = driver_->RunOneClick();
  struct rusage after {};
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(summary.failed, 1);
  EXPECT_TRUE(
      HasMessageStartingWith("ERROR: ProcessFile(" + picture + "), Msg=Picture file is too large: 2147483648 bytes"));
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);  // KiB: nothing near 2 GB was read in
  EXPECT_TRUE(fs::is_empty(folders_.output));
}

TEST_F(Faults, TwoProcessesOnTheSameFoldersNeverCorruptAnImage) {
  // The images a single run makes, for comparison.
  fs::create_directories(Path("reference/Input"));
  for (int i = 0; i < 4; ++i) {
    const Bytes bmp = test::MakeBitmap({.seed = static_cast<uint32_t>(i + 1)});
    WriteBytes(Path("reference/Input/p" + std::to_string(i) + ".bmp"), bmp);
    fs::create_directories(Path("shared/Input"));
    WriteBytes(Path("shared/Input/p" + std::to_string(i) + ".bmp"), bmp);
  }
  std::ostringstream out, err;
  ASSERT_EQ(RunCli({"--home", Path("reference"), "run"}, out, err), 0);

  pid_t children[2];
  for (pid_t& child : children) {
    child = ::fork();
    if (child == 0) {
      std::ostringstream child_out, child_err;
      ::_exit(RunCli({"--home", Path("shared"), "run"}, child_out, child_err));
    }
  }
  int succeeded = 0;
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1);
    if (WEXITSTATUS(status) == 0) ++succeeded;
  }
  EXPECT_GE(succeeded, 1);
  // Whatever each run finished is exactly what a single run makes.
  for (const auto& e : fs::directory_iterator(Path("shared/Output"))) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(ReadBytes(e.path().string()), ReadBytes(Path("reference/Output/" + name))) << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("shared/Output")), fs::directory_iterator()),
            static_cast<ptrdiff_t>(4 * test::kImagesPerPicture));
}

TEST_F(Faults, SecondRunOnLockedFoldersIsRefusedWithAClearError) {
  StartHome();
  WriteBytes(folders_.input + "/a.bmp", test::MakeBitmap());
  // Another run holds the lock on the Temp folder itself.
  const int holder = ::open(folders_.temp.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const RunSummary summary = driver_->RunOneClick();
  ::close(holder);
  EXPECT_TRUE(summary.error);
  EXPECT_EQ(view_.status, "ERROR: The working folders are in use by another run: " + folders_.temp);
  EXPECT_TRUE(HasMessageStartingWith("ERROR: OneClick(), Msg=The working folders are in use by another run"));
  EXPECT_TRUE(fs::is_empty(folders_.output));
  // Once the other run is done, the next click works.
  EXPECT_EQ(driver_->RunOneClick().failed, 0);
  EXPECT_EQ(OutputFiles().size(), test::kImagesPerPicture);
}

// The log keeps the platform's texts exactly; the command line adds the
// system's reason on stderr, where the user reads it.
TEST_F(Faults, TheCommandLineSaysWhyWhereTheLogDoesNot) {
  struct Case {
    const char* what;
    std::function<void()> setup;
    std::vector<std::string> args;
    rlim_t file_size_limit;  // 0: none
    std::string log_line;    // the run's last ERROR line, exactly
    std::string told;        // what stderr says of it
  };
  const std::string home = Path("home");
  const Case cases[] = {
      {"a working folder blocked by a file",
       [&] {
         fs::create_directories(home + "/Log");
         WriteBytes(home + "/Temp", {0});
       },
       {"--home", home, "make", Path("logo.bmp")},
       0,
       "ERROR: FormCreate(), Msg=Unable to create directory " + home + "/Temp",
       "Msg=Unable to create directory " + home + "/Temp: a file of that name stands in its way"},
      {"a step's input that is a folder",
       [] { fs::create_directory("ct"); },
       {"--home", home, "step", "dd", "ct", "gz", "out"},
       0,
       "ERROR: dd(), Msg=Cannot open file ct",
       "ERROR: dd(), Msg=Cannot open file ct: it is not a regular file but a folder"},
      {"a disk that takes no image",
       [] {},
       {"--home", home, "make", Path("logo.bmp")},
       100000,
       "ERROR: CopyFile(" + home + "/Output/" + files::OutputImageName("logo", kUsbModel200, files::kUsbImage) +
           "), Msg=Stream write error",
       "Stream write error: File too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(home);
    WriteBytes(Path("logo.bmp"), test::MakeBitmap());
    WriteBytes("gz", {1});
    c.setup();
    const pid_t child = ::fork();
    if (child == 0) {
      std::optional<FileSizeLimit> full;
      if (c.file_size_limit) full.emplace(c.file_size_limit);
      std::ostringstream out, err;
      const int code = RunCli(c.args, out, err);
      full.reset();
      WriteBytes(Path("child.err"), test::ToBytes(err.str()));
      ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    const Bytes err_bytes = ReadBytes(Path("child.err"));
    const std::string err(err_bytes.begin(), err_bytes.end());
    EXPECT_NE(err.find(c.told), std::string::npos) << err;
    const Bytes log = ReadBytes(home + "/Log/KestroWelcomeScreen.log");
    std::string last_error;
    std::istringstream lines(std::string(log.begin(), log.end()));
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() > 27 && line.compare(27, 7, "ERROR: ") == 0) last_error = line.substr(27);
    }
    EXPECT_EQ(last_error, c.log_line);
  }
}

}  // namespace
}  // namespace kws
