// How much the pipeline costs beyond the work it cannot avoid.
//
// The floor of a picture: read its bitmap file, deflate its 414,720 pixel
// bytes in memory (level 6, window bits -15) and CRC-32 them, in this process.
//
// Per picture: ProcessFile on a flat-coloured logo and on a 64-colour
// photo-like picture, both writing their images into an empty Output, as a
// batch of new pictures does, and replacing the images of the round before,
// as converting a picture again does. Goals: at most 1.3 x the floor for the
// photo-like picture, at most 2.0 x for the logo.
//
// Batch: kestro-welcome-cli run in a new home folder over 20 pictures (10
// photo-like, 10 logos), against the floors of the same 20 pictures. Goal: at
// most 1.5 x.
//
// Times are medians. Each is given as CPU time (user and system, the
// process's own work) and as wall-clock time; the goals are judged on CPU
// time, since on a machine shared with other work the wall clock counts that
// work too.
//
//   pipeline_bench [ROUNDS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/startup.h"
#include "fileio/file.h"
#include "format/bitmap.h"
#include "log/activity_log.h"
#include "median.h"
#include "fit/bitmap_file.h"

namespace {

using namespace kws;
namespace fs = std::filesystem;
using bench::Median;

// ---- pictures ----

Picture8 FlatLogo(int variant = 0) {
  Picture8 p;
  for (int i = 0; i < 16; ++i) p.palette.push_back({uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 8 + variant)});
  p.pixels.resize(kPictureBytes);
  const int radius = 150 - 7 * variant;
  for (int y = 0; y < kPictureHeight; ++y)
    for (int x = 0; x < kPictureWidth; ++x) {
      const int dx = x - 360, dy = y - 288;
      const bool disc = dx * dx + dy * dy < radius * radius;
      const bool bar = y > 470 && y < 500 && x > 160 && x < 560;
      p.pixels[size_t(y) * kPictureWidth + x] = uint8_t(disc ? 9 : bar ? 15 : y / 72);
    }
  return p;
}

// Smooth shapes with grain, in 64 colours: compresses like a small photo.
Picture8 PhotoLike(unsigned seed = 1234) {
  Picture8 p;
  for (int i = 0; i < 64; ++i) p.palette.push_back({uint8_t(i * 4), uint8_t(i * 3), uint8_t(255 - i * 4)});
  p.pixels.resize(kPictureBytes);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> grain(-1, 1);
  const double phase = (seed % 100) / 10.0;
  for (int y = 0; y < kPictureHeight; ++y)
    for (int x = 0; x < kPictureWidth; ++x) {
      const double v = 32 + 14 * std::sin(x / 37.0 + phase) * std::cos(y / 29.0) + 10 * std::sin((x + y) / 91.0);
      p.pixels[size_t(y) * kPictureWidth + x] = uint8_t(std::clamp(int(v) + grain(rng), 0, 63));
    }
  return p;
}

// ---- timing ----

struct Times {
  double cpu = 0;   // seconds of this process's (or a child's) user and system time
  double wall = 0;  // seconds on the clock
};

double ProcessCpu() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double WallClock() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Times Measure(const std::function<void()>& work) {
  const double cpu = ProcessCpu(), wall = WallClock();
  work();
  return {ProcessCpu() - cpu, WallClock() - wall};
}

struct Medians {
  std::vector<double> cpu, wall;
  void Add(Times t) {
    cpu.push_back(t.cpu);
    wall.push_back(t.wall);
  }
  Times Get() const { return {Median(cpu), Median(wall)}; }
};

// The floor of one picture file: read it, deflate its pixels, CRC-32 them.
void Floor(const std::string& bitmap, const Picture8& picture) {
  const std::vector<uint8_t> file = ReadWholeFile(bitmap, 16 << 20);
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, picture.pixels.size()));
  z.next_in = const_cast<Bytef*>(picture.pixels.data());
  z.avail_in = static_cast<uInt>(picture.pixels.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  deflateEnd(&z);
  volatile uLong crc = crc32(0, picture.pixels.data(), static_cast<uInt>(picture.pixels.size()));
  (void)crc;
  (void)file;
}

bool Report(const char* name, Times work, Times floor, double goal) {
  const double ratio = work.cpu / floor.cpu;
  std::printf(
      "%-24s cpu %7.2f ms  floor %7.2f ms  ratio %.2f (goal <= %.1f)%s   wall %7.2f ms  floor %7.2f ms  ratio %.2f\n",
      name, work.cpu * 1e3, floor.cpu * 1e3, ratio, goal, ratio <= goal ? "" : "  OVER", work.wall * 1e3,
      floor.wall * 1e3, work.wall / floor.wall);
  return ratio <= goal;
}

void EmptyFolder(const std::string& folder) {
  for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
}

// ---- per picture ----

bool PerPicture(const fs::path& home, int rounds) {
  const StartupResult start = StartUp(home.string());
  SetLogFilePath("");  // the log is not what is measured
  NullRunView view;
  Driver driver(view, start.folders);

  struct Case {
    const char* name;
    Picture8 picture;
    double goal;
  };
  const Case cases[] = {{"logo", FlatLogo(), 2.0}, {"photo-like", PhotoLike(), 1.3}};
  bool met = true;
  for (const Case& c : cases) {
    const std::string path = (home / (std::string(c.name) + ".bmp")).string();
    WriteBitmap8(path, c.picture);
    for (const bool replacing : {false, true}) {
      Medians pipeline, floor;
      for (int i = 0; i < rounds; ++i) {
        if (!replacing) EmptyFolder(start.folders.output);
        pipeline.Add(Measure([&] {
          if (driver.ProcessFile(path) != 0) {
            std::fprintf(stderr, "%s: the pipeline failed\n", c.name);
            std::exit(1);
          }
        }));
        floor.Add(Measure([&] { Floor(path, c.picture); }));
      }
      const std::string name = std::string(c.name) + (replacing ? ", replacing" : ", new images");
      // Replacing is shown for comparison; the goals are for new images.
      const bool ok = Report(name.c_str(), pipeline.Get(), floor.Get(), c.goal);
      if (!replacing) met = met && ok;
    }
  }
  return met;
}

// ---- a batch through the command line ----

// Runs the command line; its CPU time is the child's user and system time.
Times RunCli(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const double wall = WallClock();
  pid_t child = 0;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  const double elapsed = WallClock() - wall;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the batch failed\n");
    std::exit(1);
  }
  const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), elapsed};
}

bool Batch(const fs::path& dir, int rounds) {
  const std::string cli = ExecutableDir() + "/kestro-welcome-cli";
  const fs::path pictures = dir / "pictures";
  fs::create_directories(pictures);
  std::vector<std::pair<std::string, Picture8>> batch;
  for (int i = 0; i < 10; ++i) {
    batch.emplace_back((pictures / ("photo" + std::to_string(i) + ".bmp")).string(), PhotoLike(1000 + i));
    batch.emplace_back((pictures / ("logo" + std::to_string(i) + ".bmp")).string(), FlatLogo(i));
  }
  for (const auto& [path, picture] : batch) WriteBitmap8(path, picture);

  Medians run, floor;
  for (int i = 0; i < rounds; ++i) {
    const fs::path home = dir / "home";
    fs::remove_all(home);
    fs::create_directories(home / "Input");
    for (const auto& [path, picture] : batch) fs::copy_file(path, home / "Input" / fs::path(path).filename());
    run.Add(RunCli({cli, "--home", home.string(), "run"}));
    floor.Add(Measure([&] {
      for (const auto& [path, picture] : batch) Floor(path, picture);
    }));
  }
  return Report("batch of 20, cli", run.Get(), floor.Get(), 1.5);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const fs::path dir = fs::temp_directory_path() / "kws-bench";
  fs::remove_all(dir);
  const bool per_picture = PerPicture(dir / "single", rounds);
  const bool batch = Batch(dir / "batch", std::max(3, rounds / 3));
  fs::remove_all(dir);
  return per_picture && batch ? 0 : 1;
}
