#include "support/photo_like.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace kws {

namespace {

uint8_t Sample(double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

QImage MakePhotoLike(const PhotoLikeOptions& options) {
  QImage image(options.width, options.height, QImage::Format_RGB32);
  std::mt19937 rng(options.seed);
  std::normal_distribution<double> grain(0.0, options.grain);
  const double phase = options.seed * 0.7;
  for (int y = 0; y < options.height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    // Coordinates in 720 x 576 units, so any size shows the same scene.
    const double v = y * 576.0 / options.height;
    for (int x = 0; x < options.width; ++x) {
      const double u = x * 720.0 / options.width;
      const double ridge = 40 * std::sin(u / 53.0 + phase) * std::cos(v / 41.0);
      const double ripple = 25 * std::sin((u + 2 * v) / 17.0);
      const double dx = u - 500, dy = v - 150;
      const double disc = 70 * std::exp(-(dx * dx + dy * dy) / (2 * 60.0 * 60.0));
      const double r = 120 + ridge + ripple + disc + 30 * std::sin(v / 90.0);
      const double g = 115 + 0.8 * ridge + 25 * std::sin(u * v / 9000.0) + 0.8 * disc;
      const double b = 110 + 45 * std::sin((u - v) / 45.0 + phase) + 35 * std::cos(v / 23.0) + 0.4 * disc;
      row[x] = qRgb(Sample(r + grain(rng)), Sample(g + grain(rng)), Sample(b + grain(rng)));
    }
  }
  return image;
}

}  // namespace kws
