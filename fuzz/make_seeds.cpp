// Writes the seed corpus of every fuzz target from pictures the project makes
// itself: make_seeds DIR creates DIR/<target>/ with a few valid and nearly
// valid inputs each.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fileio/file.h"
#include "log/activity_log.h"
#include "sample/sample_picture.h"
#include "steps/be_fields.h"
#include "steps/bitmap8.h"
#include "steps/steps.h"

namespace fs = std::filesystem;
using namespace kws;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ReadAll(const std::string& path) {
  InputFile in(path);
  Bytes bytes(static_cast<size_t>(in.Size()));
  in.Read(bytes.data(), bytes.size());
  return bytes;
}

Picture8 SixteenColours() {
  Picture8 p = MakeSamplePicture();
  p.palette.resize(16);
  for (auto& px : p.pixels) px &= 0x0F;
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const fs::path dir = fs::absolute(argv[1]);
  for (const char* target : {"convbmp", "rawconv", "pipeline", "inspect"}) fs::create_directories(dir / target);
  const auto put = [&](const char* target, const std::string& name, const Bytes& bytes) {
    WriteFileReplacing((dir / target / name).string(), bytes);
  };

  const Bytes sample = EncodeBitmap8(MakeSamplePicture());
  const Bytes sixteen = EncodeBitmap8(SixteenColours());
  for (const char* target : {"convbmp", "pipeline"}) {
    put(target, "sample.bmp", sample);
    put(target, "sixteen.bmp", sixteen);
    put(target, "header-only.bmp", Bytes(sample.begin(), sample.begin() + 54 + 1024));
  }

  // The raw picture and every image the pipeline makes from the sample.
  const fs::path home = dir / "home";
  SetLogFilePath("");
  const WorkingFolders folders = StartUp(home.string()).folders;
  SetLogFilePath("");
  WriteFileReplacing((home / "sample.bmp").string(), sample);
  NullRunView view;
  Driver driver(view, folders);
  if (driver.ProcessFile((home / "sample.bmp").string()) != 0) return 1;
  convbmp((home / "sample.bmp").string(), (home / "ct").string(), (home / "raw").string());
  Bytes raw = ReadAll((home / "raw").string());
  put("rawconv", "sample.raw", raw);
  raw.resize(8 + 720 * 10);
  put("rawconv", "short.raw", raw);
  for (const auto& e : fs::directory_iterator(folders.output)) put("inspect", e.path().filename().string(), ReadAll(e.path().string()));
  fs::remove_all(home);
  return 0;
}
