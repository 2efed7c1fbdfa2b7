// How long importing a photo takes when it has to be fitted to the budget.
//
// Two generated 720 x 576 photo-like pictures, both over the budget with 256
// colours and full dithering: one fits once the dithering is reduced, the
// other needs fewer colours as well. Each is imported from a PNG file
// (reading, placing, quantising, searching, measuring every candidate with
// the gzip step's compressor) ROUNDS times. Prints the median time and what
// the import chose. Goal: under one second for each.
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "median.h"
#include "photo_like.h"
#include "picture/import_picture.h"

namespace {

using namespace kws;
using Clock = std::chrono::steady_clock;
using bench::Median;

constexpr double kGoalSeconds = 1.0;

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "kws-import-bench";
  fs::create_directories(dir);

  struct Case {
    const char* name;
    PhotoLikeOptions options;
  };
  const Case cases[] = {
      {"grain 3", {.grain = 3.0, .seed = 3}},
      {"grain 6", {.grain = 6.0, .seed = 6}},
  };
  int exit_code = 0;
  for (const Case& c : cases) {
    const std::string path = (dir / "photo.png").string();
    if (!MakePhotoLike(c.options).save(QString::fromStdString(path))) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    std::vector<double> seconds;
    ImportReport report;
    for (int i = 0; i < rounds; ++i) {
      const auto start = Clock::now();
      report = ImportPicture(path).report;
      seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double median = Median(seconds);
    std::printf("%s: %.0f ms (goal < %.0f ms)%s, %d versions measured\n", c.name, median * 1e3, kGoalSeconds * 1e3,
                median < kGoalSeconds ? "" : "  OVER", report.candidates);
    std::printf("%s\n", DescribeReport(report).c_str());
    if (median >= kGoalSeconds) exit_code = 1;
  }
  fs::remove_all(dir);
  return exit_code;
}
