#include "picture/webp_shrink.h"

#include <webp/decode.h>

namespace kws {

std::optional<QImage> ReadWebpShrunk(const QByteArray& bytes, int factor) {
  if (factor < 2) return std::nullopt;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
  const auto size = static_cast<size_t>(bytes.size());
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config) || WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK ||
      config.input.has_animation) {
    return std::nullopt;
  }
  QImage image((config.input.width + factor - 1) / factor, (config.input.height + factor - 1) / factor,
               QImage::Format_RGBA8888);
  if (image.isNull()) return std::nullopt;
  config.options.use_scaling = 1;
  config.options.scaled_width = image.width();
  config.options.scaled_height = image.height();
  // Into the picture made for it, colours not weighed by alpha, as Qt's
  // RGBA is.
  config.output.colorspace = MODE_RGBA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = image.bits();
  config.output.u.RGBA.stride = static_cast<int>(image.bytesPerLine());
  config.output.u.RGBA.size = static_cast<size_t>(image.sizeInBytes());
  const VP8StatusCode status = WebPDecode(data, size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) return std::nullopt;
  return image;
}

}  // namespace kws
