// Generated photo-like pictures: soft colour fields, a bright disc, rolling
// ridges and film grain. Grain decides how hard the picture compresses; at
// 720 x 576 a grain of 6 puts the 256-colour version well over the welcome
// image's budget. Shared by the benchmarks and the tests.
#pragma once

#include <QImage>
#include <cstdint>

namespace kws {

struct PhotoLikeOptions {
  int width = 720;
  int height = 576;
  double grain = 6.0;  // standard deviation of the per-sample noise
  uint32_t seed = 1;
};

// An opaque 24-bit picture (QImage::Format_RGB32).
QImage MakePhotoLike(const PhotoLikeOptions& options = {});

}  // namespace kws
