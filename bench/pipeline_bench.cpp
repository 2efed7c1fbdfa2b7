// How much the per-picture pipeline costs beyond the work it cannot avoid.
//
// For two generated pictures that fit the partitions (a flat-coloured logo and
// a 64-colour photo-like picture) it times ProcessFile end to end, and the
// floor: one in-memory raw deflate (level 6, window bits -15) plus one CRC-32
// of the same 414,720 pixel bytes. It prints the ratio pipeline / floor.
// Goals: at most 1.3 for the photo-like picture, at most 2.0 for the logo.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "median.h"
#include "driver/driver.h"
#include "fileio/file.h"
#include "log/activity_log.h"
#include "steps/bitmap8.h"

namespace {

using namespace kws;
using Clock = std::chrono::steady_clock;
using bench::Median;

Picture8 FlatLogo() {
  Picture8 p;
  for (int i = 0; i < 16; ++i) p.palette.push_back({uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 8)});
  p.pixels.resize(kPictureBytes);
  for (int y = 0; y < kPictureHeight; ++y)
    for (int x = 0; x < kPictureWidth; ++x) {
      const int dx = x - 360, dy = y - 288;
      const bool disc = dx * dx + dy * dy < 150 * 150;
      const bool bar = y > 470 && y < 500 && x > 160 && x < 560;
      p.pixels[size_t(y) * kPictureWidth + x] = uint8_t(disc ? 9 : bar ? 15 : y / 72);
    }
  return p;
}

// Smooth shapes with grain, in 64 colours: compresses like a small photo.
Picture8 PhotoLike() {
  Picture8 p;
  for (int i = 0; i < 64; ++i) p.palette.push_back({uint8_t(i * 4), uint8_t(i * 3), uint8_t(255 - i * 4)});
  p.pixels.resize(kPictureBytes);
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> grain(-1, 1);
  for (int y = 0; y < kPictureHeight; ++y)
    for (int x = 0; x < kPictureWidth; ++x) {
      const double v = 32 + 14 * std::sin(x / 37.0) * std::cos(y / 29.0) + 10 * std::sin((x + y) / 91.0);
      p.pixels[size_t(y) * kPictureWidth + x] = uint8_t(std::clamp(int(v) + grain(rng), 0, 63));
    }
  return p;
}

double FloorSeconds(const std::vector<uint8_t>& pixels) {
  const auto start = Clock::now();
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, pixels.size()));
  z.next_in = const_cast<Bytef*>(pixels.data());
  z.avail_in = static_cast<uInt>(pixels.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  deflateEnd(&z);
  volatile uLong crc = crc32(0, pixels.data(), static_cast<uInt>(pixels.size()));
  (void)crc;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  namespace fs = std::filesystem;
  const fs::path home = fs::temp_directory_path() / "kws-bench";
  fs::remove_all(home);
  const StartupResult start = StartUp(home.string());
  SetLogFilePath("");  // the log is not what is measured
  NullRunView view;
  Driver driver(view, start.folders);

  struct Case {
    const char* name;
    Picture8 picture;
    double goal;
  };
  std::vector<Case> cases = {{"logo", FlatLogo(), 2.0}, {"photo-like", PhotoLike(), 1.3}};
  int exit_code = 0;
  for (const Case& c : cases) {
    const std::string path = (home / (std::string(c.name) + ".bmp")).string();
    WriteFileReplacing(path, EncodeBitmap8(c.picture));
    std::vector<double> pipeline, floor;
    for (int i = 0; i < rounds; ++i) {
      const auto t0 = Clock::now();
      if (driver.ProcessFile(path) != 0) {
        std::fprintf(stderr, "%s: the pipeline failed\n", c.name);
        return 1;
      }
      pipeline.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
      floor.push_back(FloorSeconds(c.picture.pixels));
    }
    const double ratio = Median(pipeline) / Median(floor);
    std::printf("%-10s pipeline %7.2f ms  floor %7.2f ms  ratio %.2f  (goal <= %.1f)%s\n", c.name,
                Median(pipeline) * 1e3, Median(floor) * 1e3, ratio, c.goal, ratio <= c.goal ? "" : "  OVER");
    if (ratio > c.goal) exit_code = 1;
  }
  fs::remove_all(home);
  return exit_code;
}
