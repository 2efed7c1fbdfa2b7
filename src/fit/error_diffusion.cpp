#include "fit/error_diffusion.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "fit/cheapest_entry.h"

namespace kws {

namespace {

// Errors are carried in sixteenths of a level; a pixel with what its
// neighbours passed on stays within the levels a palette can show.
constexpr int kSixteenths = 16;
constexpr int kTop = 255 * kSixteenths;

// The errors waiting for one row: three channels for each pixel, with a
// pixel's room on either side so the diffusion needs no edge cases.
class ErrorRow {
 public:
  explicit ErrorRow(int width) : errors_(static_cast<size_t>(width + 2) * 3, 0) {}
  int& At(int x, int channel) { return errors_[static_cast<size_t>(x + 1) * 3 + static_cast<size_t>(channel)]; }
  void Clear() { std::fill(errors_.begin(), errors_.end(), 0); }

 private:
  std::vector<int> errors_;
};

}  // namespace

Picture8 DiffuseErrors(const RgbaPicture& canvas, const std::vector<Rgb>& palette) {
  Picture8 picture;
  picture.width = canvas.width;
  picture.height = canvas.height;
  picture.palette = palette;
  picture.pixels.resize(static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height));
  const CheapestEntry nearest(picture.palette);
  const std::vector<int64_t> no_cost(palette.size(), 0);
  ErrorRow here(canvas.width), below(canvas.width);
  uint8_t entry = 0;
  for (int y = 0; y < canvas.height; ++y) {
    const bool rightwards = y % 2 == 0;
    const int step = rightwards ? 1 : -1;
    const uint8_t* row = canvas.Row(y);
    for (int i = 0; i < canvas.width; ++i) {
      const int x = rightwards ? i : canvas.width - 1 - i;
      std::array<int, 3> wanted{};
      for (int k = 0; k < 3; ++k) wanted[k] = std::clamp(row[4 * x + k] * kSixteenths + here.At(x, k), 0, kTop);
      const auto level = [](int v) { return static_cast<uint32_t>((v + kSixteenths / 2) / kSixteenths); };
      entry = nearest(level(wanted[0]) << 16 | level(wanted[1]) << 8 | level(wanted[2]), entry, no_cost, 0);
      picture.pixels[static_cast<size_t>(y) * static_cast<size_t>(canvas.width) + static_cast<size_t>(x)] = entry;
      const Rgb& shown = palette[entry];
      const std::array<int, 3> error{wanted[0] - shown.r * kSixteenths, wanted[1] - shown.g * kSixteenths,
                                     wanted[2] - shown.b * kSixteenths};
      for (int k = 0; k < 3; ++k) {
        here.At(x + step, k) += error[k] * 7 / 16;
        below.At(x - step, k) += error[k] * 3 / 16;
        below.At(x, k) += error[k] * 5 / 16;
        below.At(x + step, k) += error[k] / 16;
      }
    }
    std::swap(here, below);
    below.Clear();
  }
  return picture;
}

}  // namespace kws
