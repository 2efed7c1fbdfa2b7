// Every input a fuzz target ever crashed on is kept in fuzz/regressions/<target>/
// and replayed here, in the ordinary test builds, under the sanitizers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/targets.h"

namespace kws::fuzz {
namespace {

namespace fs = std::filesystem;

using Target = void (*)(const uint8_t*, size_t);

void ReplayFolder(const char* name, Target target) {
  const fs::path folder = fs::path(KWS_FUZZ_REGRESSIONS) / name;
  int replayed = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (!e.is_regular_file() || e.path().extension() == ".md") continue;
    std::ifstream in(e.path(), std::ios::binary);
    const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    SCOPED_TRACE(e.path().string());
    target(bytes.data(), bytes.size());
    ++replayed;
  }
  ::testing::Test::RecordProperty("replayed", replayed);
}

TEST(FuzzReplay, Convbmp) { ReplayFolder("convbmp", Convbmp); }
TEST(FuzzReplay, Rawconv) { ReplayFolder("rawconv", Rawconv); }
TEST(FuzzReplay, Pipeline) { ReplayFolder("pipeline", Pipeline); }
TEST(FuzzReplay, Inspect) { ReplayFolder("inspect", Inspect); }
TEST(FuzzReplay, Import) { ReplayFolder("import", Import); }
TEST(FuzzReplay, SvgCost) { ReplayFolder("svg_cost", SvgCost); }

// Inputs at the edges the targets must take without harm.
TEST(FuzzReplay, EdgeInputs) {
  const std::vector<std::vector<uint8_t>> inputs = {{}, {0x42}, std::vector<uint8_t>(54, 0xFF),
                                                    std::vector<uint8_t>(54 + 1024 + 720, 0x00)};
  for (const auto& input : inputs) {
    for (Target target : {Convbmp, Rawconv, Pipeline, Inspect, Import}) target(input.data(), input.size());
  }
}

}  // namespace
}  // namespace kws::fuzz
