// What an unlucky or hostile environment does to a run: locks that cannot be
// taken, links planted in the working folders, pipes and devices where files
// belong, steps pointed at their own input, two pictures with one name,
// forged names and signals. Every case ends with a clear error or the right
// result, and nothing outside the working folders changes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

#include "cli/cli.h"
#include "driver/driver.h"
#include "fileio/file.h"
#include "format/pipeline_files.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "preview/preview_loader.h"
#include "steps/steps.h"
#include "support/model_vectors.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Exists;
using test::ReadBytes;
using test::ToBytes;
using test::WriteBytes;

class View : public NullRunView {
 public:
  std::string ShowPicture(const std::string& path) override { return CheckPreview(path); }
  void SetStatus(const std::string& text) override { status = text; }
  std::string status;
};

// A command line run in a child process that is killed when it takes longer
// than it may: a run that hangs fails the test instead of blocking it.
struct ChildRun {
  int exit_code = -1;  // -1 when it did not exit by itself
  int signal = 0;      // the signal that ended it, if one did
  std::string out, err;
};

class Trust : public test::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    folders_ = StartUp(Path("home")).folders;
    driver_ = std::make_unique<Driver>(view_, folders_);
  }

  ChildRun RunCliInChild(const std::vector<std::string>& args, unsigned seconds = 30,
                         const std::function<void(pid_t)>& while_running = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
      ::alarm(seconds);
      std::ofstream out(Path("child.out")), err(Path("child.err"));
      const int code = RunCli(args, out, err);
      out.close();
      err.close();
      ::_exit(code);
    }
    if (while_running) while_running(child);
    int status = 0;
    ::waitpid(child, &status, 0);
    ChildRun run;
    if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    const auto text = [](const Bytes& b) { return std::string(b.begin(), b.end()); };
    run.out = text(ReadBytes(Path("child.out")));
    run.err = text(ReadBytes(Path("child.err")));
    return run;
  }

  std::vector<std::string> RunLog() const { return test::LogMessagesIn(folders_.log_file); }
  bool LogHas(const std::string& prefix) const {
    for (const auto& line : RunLog())
      if (line.rfind(prefix, 0) == 0) return true;
    return false;
  }
  std::vector<std::string> OutputNames() const { return test::FilesIn(folders_.output); }

  WorkingFolders folders_;
  View view_;
  std::unique_ptr<Driver> driver_;
};

// ---- the run lock ----

TEST_F(Trust, ALockThatCannotBeTakenRefusesTheRun) {
  WriteBytes(folders_.input + "/a.bmp", test::MakeBitmap());
  const struct {
    const char* what;
    std::function<void()> spoil;
    std::string reason;
  } cases[] = {
      {"Temp is missing", [] {}, ": No such file or directory"},
      {"Temp is a file", [&] { WriteBytes(folders_.temp, {1}); }, ": Not a directory"},
      {"Temp is a dangling link", [&] { fs::create_symlink(Path("nowhere"), folders_.temp); },
       ": No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folders_.temp);
    c.spoil();
    const RunSummary summary = driver_->RunOneClick();
    EXPECT_TRUE(summary.error);
    EXPECT_EQ(view_.status, "ERROR: The working folders cannot be locked: " + folders_.temp + c.reason);
    EXPECT_TRUE(OutputNames().empty());
  }
  // An old lock file that another user owns, or anything else in Temp, does
  // not matter: the lock is the folder's own.
  fs::remove_all(folders_.temp);
  fs::create_directories(folders_.temp + "/.run.lock");
  EXPECT_EQ(driver_->RunOneClick().failed, 0);
  EXPECT_EQ(OutputNames().size(), test::kImagesPerPicture);
}

// ---- links planted in the working folders ----

TEST_F(Trust, PlantedLinksAreReplacedAndTheirTargetsNeverWritten) {
  fs::create_directory(Path("outside"));
  std::vector<const char*> intermediates(files::kIntermediates.begin(), files::kIntermediates.end());
  intermediates.push_back(files::kSerialImage);
  for (const char* name : intermediates) {
    WriteBytes(Path(std::string("outside/") + name), ToBytes("precious"));
    fs::create_symlink(Path(std::string("outside/") + name), folders_.temp + "/" + name);
  }
  WriteBytes(Path("outside/image"), ToBytes("precious"));
  fs::create_symlink(Path("outside/image"), folders_.output + "/logo_borvik200_usb_welcome.img");
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());

  EXPECT_EQ(driver_->ProcessFile(Path("logo.bmp")), 0);
  for (const auto& e : fs::directory_iterator(Path("outside"))) {
    EXPECT_EQ(ReadBytes(e.path().string()), ToBytes("precious")) << e.path();
  }
  EXPECT_FALSE(fs::is_symlink(folders_.output + "/logo_borvik200_usb_welcome.img"));
  EXPECT_TRUE(InspectFile(folders_.output + "/logo_borvik200_usb_welcome.img").Sound());
}

TEST_F(Trust, ALinkAtTheLogIsRefusedAndSaidOnce) {
  WriteBytes(Path("precious"), ToBytes("precious"));
  fs::remove(folders_.log_file);
  fs::create_symlink(Path("precious"), folders_.log_file);
  std::vector<std::string> told;
  SetLogFailureHandler([&](const std::string& why) { told.push_back(why); });
  EXPECT_FALSE(WriteLog("one"));
  EXPECT_FALSE(WriteLog("two"));
  SetLogFailureHandler(nullptr);
  EXPECT_EQ(ReadBytes(Path("precious")), ToBytes("precious"));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].rfind("The activity log " + folders_.log_file + " cannot be opened: ", 0), 0u) << told[0];

  // On the command line: said once on stderr, and no "see the log".
  WriteBytes(Path("logo.bmp"), ToBytes("not a bitmap"));
  const ChildRun run = RunCliInChild({"--home", Path("home"), "make", Path("logo.bmp")});
  EXPECT_EQ(run.exit_code, 1);
  const std::string warning = "warning: The activity log ";
  EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(warning), run.err.rfind(warning)) << run.err;
  EXPECT_EQ(run.err.find("See the log"), std::string::npos) << run.err;
  EXPECT_EQ(ReadBytes(Path("precious")), ToBytes("precious"));
}

// ---- only regular files are read ----

TEST_F(Trust, PipesDevicesAndFoldersAreRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo(Path("x.bmp").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(Path("x.img").c_str(), 0600), 0);
  fs::create_directory(Path("folder.img"));
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--home", Path("home"), "make", Path("x.bmp")}, "it is not a regular file but a named pipe"},
      {{"inspect", Path("x.img")}, "it is not a regular file but a named pipe"},
      {{"inspect", Path("folder.img")}, "it is not a regular file but a folder"},
      {{"inspect", "/dev/zero"}, "it is not a regular file but a character device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    const ChildRun run = RunCliInChild(c.args, 20);
    EXPECT_EQ(run.signal, 0) << "the run did not end by itself";
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
  }
}

// A batch skips each entry that is no picture file with one line saying why,
// and a batch that made nothing fails.
// A folder is passed over without a line in the log, as the batch always
// has; entries no folder can be get a WARNING line. The command line names
// every skipped entry with its reason, and counts them in its summary.
TEST_F(Trust, BatchSkipsEntriesThatAreNoFilesAndSaysWhy) {
  const std::string& in = folders_.input;
  ASSERT_EQ(::mkfifo((in + "/pipe.bmp").c_str(), 0600), 0);
  fs::create_symlink(in + "/nowhere", in + "/dangling.bmp");
  fs::create_symlink(in + "/loop.bmp", in + "/loop.bmp");
  fs::create_directory(in + "/folder.bmp");
  fs::create_symlink("/dev/zero", in + "/device.bmp");
  const ChildRun run = RunCliInChild({"--home", Path("home"), "run"}, 20);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exit_code, 1);
  const std::vector<std::string> expected = {
      "WARNING: Input file dangling.bmp skipped: it is a link to nothing: No such file or directory",
      "WARNING: Input file device.bmp skipped: it is not a regular file but a character device",
      "WARNING: Input file loop.bmp skipped: it is a link that loops",
      "WARNING: Input file pipe.bmp skipped: it is not a regular file but a named pipe",
  };
  std::vector<std::string> skipped;
  for (const auto& line : RunLog())
    if (line.rfind("WARNING: ", 0) == 0) skipped.push_back(line);
  EXPECT_EQ(skipped, expected);
  for (const char* told : {"dangling.bmp: skipped \u2014 it is a link to nothing",
                           "folder.bmp: skipped \u2014 it is not a regular file but a folder",
                           "pipe.bmp: skipped \u2014 it is not a regular file but a named pipe"}) {
    EXPECT_NE(run.err.find(told), std::string::npos) << told << " in:\n" << run.err;
  }
  EXPECT_NE(run.out.find("No pictures made, 5 Input entries skipped; log: "), std::string::npos) << run.out;

  // With one good picture among them, the run succeeds.
  WriteBytes(in + "/good.bmp", test::MakeBitmap());
  EXPECT_EQ(RunCliInChild({"--home", Path("home"), "run"}, 20).exit_code, 0);
  EXPECT_EQ(OutputNames().size(), test::kImagesPerPicture);
}

// ---- destinations ----

TEST_F(Trust, DevicesAndPipesAsDestinationsAreWrittenIntoNeverReplaced) {
  // A device node of our own, the same as /dev/null, where one can be made.
  std::string null_device = "/dev/null";
  if (::geteuid() == 0 && ::mknod(Path("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
    null_device = Path("null");
  }
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  ASSERT_EQ(RunCliInChild({"--home", Path("home"), "make", Path("logo.bmp")}).exit_code, 0);
  const std::string image = folders_.output + "/logo_kestro300_serial_welcome.img";
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"sample", null_device}, {"inspect", image, "--extract", null_device}}) {
    SCOPED_TRACE(args.front());
    EXPECT_EQ(RunCliInChild(args).exit_code, 0);
    struct stat st {};
    ASSERT_EQ(::lstat(null_device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  // A named pipe that nobody reads is refused at once, in words that say so.
  ASSERT_EQ(::mkfifo(Path("nobody.pipe").c_str(), 0600), 0);
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"sample", Path("nobody.pipe")},
           {"inspect", image, "--extract", Path("nobody.pipe")},
           {"preview", Path("logo.bmp"), Path("nobody.pipe")},
           {"--home", Path("home"), "import", Path("logo.bmp"), Path("nobody.pipe")}}) {
    SCOPED_TRACE(args.front());
    const ChildRun run = RunCliInChild(args, 20);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("No such device or address (nothing reads the pipe " + Path("nobody.pipe") + ")\n"),
              std::string::npos)
        << run.err;
  }
  // A bitmap that replaces a private one (told to: it is the user's) stays private.
  WriteBytes(Path("mine.bmp"), {1});
  ASSERT_EQ(::chmod(Path("mine.bmp").c_str(), 0600), 0);
  EXPECT_EQ(RunCliInChild({"inspect", image, "--extract", Path("mine.bmp"), "--force"}).exit_code, 0);
  struct stat st {};
  ASSERT_EQ(::stat(Path("mine.bmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadBytes(Path("mine.bmp")).size(), 14u + 40u + 1024u + 720u * 576u);
}

// ---- a step never destroys its own input ----

TEST_F(Trust, AStepWhoseOutputIsItsInputIsRefusedAndChangesNothing) {
  ASSERT_NO_FATAL_FAILURE(test::MakeChainFiles());
  ASSERT_EQ(::link("part", "part-too"), 0);
  const struct {
    const char* what;
    std::function<int32_t()> run;
    const char* kept;
    std::string line;
  } cases[] = {
      {"convbmp", [] { return convbmp("in.bmp", "in.bmp", "raw"); }, "in.bmp",
       "ERROR: convbmp(), Msg=output in.bmp is the same file as input in.bmp; nothing was changed"},
      {"convbmp outputs", [] { return convbmp("in.bmp", "x", "./x"); }, "in.bmp",
       "ERROR: convbmp(), Msg=outputs x and ./x are the same file; nothing was changed"},
      {"rawconv", [] { return rawconv("raw", "./raw"); }, "raw",
       "ERROR: rawconv(), Msg=output ./raw is the same file as input raw; nothing was changed"},
      {"gzip_f9", [] { return gzip_f9("raw2", "raw2"); }, "raw2",
       "ERROR: GZIP_f9(), Msg=output raw2 is the same file as input raw2; nothing was changed"},
      {"dd", [] { return dd("ct", "raw2.gz", "ct"); }, "ct",
       "ERROR: dd(), Msg=output ct is the same file as input ct; nothing was changed"},
      {"addheader", [] { return addheader("tmp", "tmp", "out"); }, "tmp",
       "ERROR: addheader(), Msg=output tmp is the same file as input tmp; nothing was changed"},
      {"appendbin", [] { return appendbin(0x30000, "welcome", "welcome"); }, "welcome",
       "ERROR: appendbin(), Msg=output welcome is the same file as input welcome; nothing was changed"},
      {"mkusbimg200, a hard link", [] { return mkusbimg200("part", "part-too"); }, "part",
       "ERROR: mkusbimg200(), Msg=output part-too is the same file as input part; nothing was changed"},
      {"mkserialimg", [] { return mkserialimg("usb", "usb", "kestro100s"); }, "usb",
       "ERROR: mkserialimg(), Msg=output usb is the same file as input usb; nothing was changed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes before = ReadBytes(c.kept);
    const size_t lines_before = RunLog().size();
    EXPECT_EQ(c.run(), -99);
    EXPECT_EQ(ReadBytes(c.kept), before);
    const auto lines = RunLog();
    ASSERT_EQ(lines.size(), lines_before + 1);
    EXPECT_EQ(lines.back(), c.line);
  }
  EXPECT_FALSE(Exists("x"));
}

// ---- no silent loss in a batch ----

TEST_F(Trust, ASecondPictureWithTheSameBaseNameIsSkippedNamingBoth) {
  WriteBytes(folders_.input + "/logo.BMP", test::MakeBitmap({.seed = 3}));
  WriteBytes(folders_.input + "/logo.bmp", test::MakeBitmap({.seed = 4}));
  const RunSummary summary = driver_->RunOneClick();
  EXPECT_EQ(summary.pictures, 1);
  EXPECT_EQ(summary.failed, 1);
  EXPECT_TRUE(
      LogHas("ERROR: Input file logo.bmp skipped: its images would replace those of logo.BMP, made in "
             "this run under the same names logo_...; rename one of them"));
  // The images are those of the first picture.
  WriteBytes(Path("first.bmp"), test::MakeBitmap({.seed = 3}));
  Driver reference(view_, StartUp(Path("reference")).folders);
  ASSERT_EQ(reference.ProcessFile(Path("first.bmp")), 0);
  EXPECT_EQ(ReadBytes(folders_.output + "/logo_borvik200_usb_welcome.img"),
            ReadBytes(Path("reference/Output/first_borvik200_usb_welcome.img")));
}

// ---- names are data ----

TEST_F(Trust, NamesWithControlCharactersCannotForgeLogLines) {
  const std::string forged = "x\r\n2026-01-01 00:00:00.000 => convbmp: Ret=0\x1b[2J.bmp";
  WriteBytes(folders_.input + "/" + forged, ToBytes("not a bitmap"));
  driver_->RunOneClick();
  const Bytes log = ReadBytes(folders_.log_file);
  const std::string text(log.begin(), log.end());
  EXPECT_EQ(text.find("\x1b"), std::string::npos);
  EXPECT_EQ(text.find("\r\n2026-01-01"), std::string::npos);
  EXPECT_TRUE(LogHas("MultiProcessing: Input file x\\r\\n2026-01-01 00:00:00.000 => convbmp: Ret=0\\x1b[2J.bmp"));
}

// ---- interrupted runs ----

TEST_F(Trust, StaleTemporariesAreRemovedByTheNextRun) {
  WriteBytes(folders_.output + "/" + kTemporaryPrefix + "Ab12Cd", {1});
  WriteBytes(folders_.output + "/logo_borvik200_usb_welcome.img.partial-Xy34Zw", {1});
  WriteBytes(Path("logo.bmp"), test::MakeBitmap());
  driver_->SetOpenedPicture(Path("logo.bmp"));
  EXPECT_EQ(driver_->RunOneClick().failed, 0);
  EXPECT_EQ(OutputNames().size(), test::kImagesPerPicture);
  EXPECT_TRUE(LogHas("Removed 2 unfinished temporary files left in Output by an interrupted run"));
}

TEST_F(Trust, SigtermEndsTheCurrentPictureCleanlyAndStops) {
  for (int i = 0; i < 40; ++i) {
    WriteBytes(folders_.input + "/p" + std::to_string(100 + i) + ".bmp", test::MakeBitmap({.seed = uint32_t(i)}));
  }
  const ChildRun run = RunCliInChild({"--home", Path("home"), "run"}, 60, [&](pid_t child) {
    // Once the second picture has started, ask the run to stop.
    for (int i = 0; i < 20000 && !LogHas("MultiProcessing: Input file p101.bmp"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(child, SIGTERM);
  });
  EXPECT_EQ(run.exit_code, 128 + SIGTERM);
  EXPECT_TRUE(LogHas("MultiProcessing: stopped by signal SIGTERM, before p")) << run.out;
  EXPECT_FALSE(LogHas("MultiProcessing: Input file p139.bmp"));
  // Only whole, sound images: six for every picture that was begun.
  const auto names = OutputNames();
  EXPECT_EQ(names.size() % test::kImagesPerPicture, 0u);
  EXPECT_GE(names.size(), test::kImagesPerPicture);
  for (const auto& name : names) {
    EXPECT_TRUE(InspectFile(folders_.output + "/" + name).Sound()) << name;
  }
}

TEST_F(Trust, AReaderThatGoesAwayDoesNotKillTheRun) {
  WriteBytes(folders_.input + "/a.bmp", test::MakeBitmap());
  WriteBytes(folders_.input + "/b.bmp", test::MakeBitmap({.seed = 2}));
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(30);
    ::close(pipe_ends[0]);  // run | head -1, once head has gone
    ::dup2(pipe_ends[1], STDOUT_FILENO);
    std::ostringstream err;
    ::_exit(RunCli({"--home", Path("home"), "run"}, std::cout, err));
  }
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(OutputNames().size(), 2 * test::kImagesPerPicture);
}

// ---- long names ----

TEST_F(Trust, TheLongestBaseNameWhoseOutputsAreLegalIsMade) {
  // 226 bytes + "_borvik200_serial_welcome.img" is 255, the longest name there is.
  const std::string base(255 - test::LongestOutputEnding(), 'b');
  WriteBytes(folders_.input + "/" + base + ".bmp", test::MakeBitmap());
  EXPECT_EQ(driver_->RunOneClick().failed, 0);
  EXPECT_EQ(OutputNames().size(), test::kImagesPerPicture);
}

}  // namespace
}  // namespace kws
