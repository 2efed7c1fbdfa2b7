#include "fit/measure.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <vector>

namespace kws {

std::optional<Picture8> ExactColors(const RgbaPicture& canvas) {
  Picture8 picture;
  picture.width = canvas.width;
  picture.height = canvas.height;
  picture.pixels.reserve(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height));
  std::unordered_map<uint32_t, uint8_t> index;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = canvas.Row(y);
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = row + 4 * x;
      const uint32_t key = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
      auto [at, added] = index.try_emplace(key, static_cast<uint8_t>(picture.palette.size()));
      if (added) {
        if (picture.palette.size() == kMaxPaletteColors) return std::nullopt;
        picture.palette.push_back({p[0], p[1], p[2]});
      }
      picture.pixels.push_back(at->second);
    }
  }
  return picture;
}

uint64_t SquaredError(const RgbaPicture& canvas, const Picture8& picture) {
  uint64_t squared = 0;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = canvas.Row(y);
    const uint8_t* indices = picture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.width);
    for (int x = 0; x < picture.width; ++x) {
      const Rgb c = indices[x] < picture.palette.size() ? picture.palette[indices[x]] : Rgb{};
      const uint8_t* p = row + 4 * x;
      const int dr = p[0] - c.r, dg = p[1] - c.g, db = p[2] - c.b;
      squared += static_cast<uint64_t>(dr * dr + dg * dg + db * db);
    }
  }
  return squared;
}

double Psnr(const RgbaPicture& canvas, const Picture8& picture) {
  const uint64_t squared = SquaredError(canvas, picture);
  if (squared == 0) return std::numeric_limits<double>::infinity();
  const double mse = static_cast<double>(squared) / (3.0 * picture.width * picture.height);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace kws

namespace kws {

namespace {

// A Gaussian of sigma 1 sampled at 0 to 3 pixels from the centre, in
// 4,096ths, rounded so that the seven taps sum to exactly 4,096: blurring
// keeps a flat picture as it is.
constexpr int kBlurRadius = 3;
constexpr int kBlurWeights[kBlurRadius + 1] = {1636, 991, 221, 18};
constexpr int kWeightBits = 12;
static_assert(kBlurWeights[0] + 2 * (kBlurWeights[1] + kBlurWeights[2] + kBlurWeights[3]) == 1 << kWeightBits);
// After both passes a difference is in 2^-24ths of a level; squared, it is
// kept in 2^-8ths (2^-16ths squared), which leaves the sum of a whole
// picture far inside 64 bits.
constexpr int kKeptShift = 2 * kWeightBits - 8;

int Clamped(int i, int n) { return i < 0 ? 0 : (i >= n ? n - 1 : i); }

}  // namespace

uint64_t SeenError(const RgbaPicture& canvas, const Picture8& picture) {
  const int w = picture.width, h = picture.height;
  // Blurring is linear: the blurred difference is the difference of the
  // blurred pictures. Across first, each row's differences for R, G, B.
  std::vector<int32_t> across(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
  std::vector<int> diff(static_cast<size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = canvas.Row(y);
    const uint8_t* indices = picture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
    for (int x = 0; x < w; ++x) {
      const Rgb c = indices[x] < picture.palette.size() ? picture.palette[indices[x]] : Rgb{};
      diff[3 * x] = row[4 * x] - c.r;
      diff[3 * x + 1] = row[4 * x + 1] - c.g;
      diff[3 * x + 2] = row[4 * x + 2] - c.b;
    }
    int32_t* to = across.data() + static_cast<size_t>(y) * static_cast<size_t>(w) * 3;
    for (int x = 0; x < w; ++x) {
      for (int k = 0; k < 3; ++k) {
        int32_t sum = kBlurWeights[0] * diff[3 * x + k];
        for (int i = 1; i <= kBlurRadius; ++i) {
          sum += kBlurWeights[i] * (diff[3 * Clamped(x - i, w) + k] + diff[3 * Clamped(x + i, w) + k]);
        }
        to[3 * x + k] = sum;
      }
    }
  }
  uint64_t error = 0;
  const size_t row_samples = static_cast<size_t>(w) * 3;
  for (int y = 0; y < h; ++y) {
    const int32_t* rows[2 * kBlurRadius + 1];
    for (int i = -kBlurRadius; i <= kBlurRadius; ++i) {
      rows[i + kBlurRadius] = across.data() + static_cast<size_t>(Clamped(y + i, h)) * row_samples;
    }
    for (size_t s = 0; s < row_samples; ++s) {
      int64_t sum = int64_t{kBlurWeights[0]} * rows[kBlurRadius][s];
      for (int i = 1; i <= kBlurRadius; ++i) {
        sum += int64_t{kBlurWeights[i]} * (int64_t{rows[kBlurRadius - i][s]} + rows[kBlurRadius + i][s]);
      }
      // Rounded to the nearest 2^-8th, halves away from zero alike on
      // either side.
      const int64_t magnitude = ((sum < 0 ? -sum : sum) + (int64_t{1} << (kKeptShift - 1))) >> kKeptShift;
      error += static_cast<uint64_t>(magnitude * magnitude);
    }
  }
  return error;
}

double SeenErrorDb(uint64_t error, size_t pixels) {
  if (error == 0 || pixels == 0) return std::numeric_limits<double>::infinity();
  const double mse = static_cast<double>(error) / (65536.0 * 3.0 * static_cast<double>(pixels));
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

double PsnrAsSeen(const RgbaPicture& canvas, const Picture8& picture) {
  return SeenErrorDb(SeenError(canvas, picture),
                     static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height));
}

}  // namespace kws
