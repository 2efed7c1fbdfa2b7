// A batch of 1,000 pictures: it completes, memory stays flat, and every
// picture's six images are exactly those a single run makes.
#include <sys/resource.h>

#include <filesystem>
#include <fstream>

#include "driver/driver.h"
#include "format/pipeline_files.h"
#include "format/receiver_models.h"
#include "log/activity_log.h"
#include "support/model_vectors.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;

constexpr int kPictures = 1000;

// AddressSanitizer holds freed memory back on purpose, so resident memory
// says nothing about leaks in that build (its leak checker does).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryIsMeaningful = false;
#else
constexpr bool kMemoryIsMeaningful = true;
#endif
constexpr int kVariants = 5;

// Resident memory now, in KiB.
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

class CountingView : public NullRunView {
 public:
  void ProcessEvents() override {
    // Three calls per picture: one per directory entry, two in the pipeline.
    if (++events == 3 * 100) resident_after_100 = ResidentKiB();
  }
  int events = 0;
  long resident_after_100 = 0;
};

class Load : public test::ScratchDirTest {};

TEST_F(Load, ThousandPicturesInOneBatch) {
  // The images of each variant, made once on their own.
  CountingView reference_view;
  const WorkingFolders reference = StartUp(Path("reference")).folders;
  Driver reference_driver(reference_view, reference);
  std::vector<test::Bytes> bitmaps;
  for (int v = 0; v < kVariants; ++v) {
    bitmaps.push_back(test::MakeBitmap({.seed = static_cast<uint32_t>(v + 1)}));
    test::WriteBytes(Path("v" + std::to_string(v) + ".bmp"), bitmaps.back());
    ASSERT_EQ(reference_driver.ProcessFile(Path("v" + std::to_string(v) + ".bmp")), 0);
  }

  const WorkingFolders folders = StartUp(Path("home")).folders;
  SetLogFilePath("");  // a thousand pictures' log lines are not what is tested
  for (int i = 0; i < kPictures; ++i) {
    test::WriteBytes(folders.input + "/pic" + std::to_string(i) + ".bmp", bitmaps[i % kVariants]);
  }
  CountingView view;
  Driver driver(view, folders);
  const RunSummary summary = driver.RunOneClick();
  const long resident_at_end = ResidentKiB();
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident %ld KiB; after 100 pictures %ld KiB, after %d %ld KiB\n", usage.ru_maxrss,
              view.resident_after_100, kPictures, resident_at_end);

  EXPECT_EQ(summary.pictures, kPictures);
  EXPECT_EQ(summary.failed, 0);
  if (kMemoryIsMeaningful) {
    EXPECT_LT(resident_at_end - view.resident_after_100, 4 * 1024) << "memory grows with the batch";
  }

  // The images of every model of the table.
  std::vector<std::string> suffixes;
  for (const UsbModel& model : kUsbModels)
    for (const char* kind : files::kOutputKinds) suffixes.push_back(files::OutputImageName("", model, kind));
  std::vector<std::vector<test::Bytes>> expected(kVariants);
  for (int v = 0; v < kVariants; ++v)
    for (const std::string& s : suffixes) {
      expected[v].push_back(test::ReadBytes(reference.output + "/v" + std::to_string(v) + s));
    }
  int checked = 0;
  for (int i = 0; i < kPictures; ++i) {
    for (size_t k = 0; k < suffixes.size(); ++k) {
      const std::string name = folders.output + "/pic" + std::to_string(i) + suffixes[k];
      if (test::ReadBytes(name) != expected[i % kVariants][k]) ADD_FAILURE() << name << " differs";
      ++checked;
    }
  }
  EXPECT_EQ(checked, static_cast<int>(test::kImagesPerPicture) * kPictures);
}

}  // namespace
}  // namespace kws
