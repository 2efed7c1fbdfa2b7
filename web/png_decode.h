// The page's own reading of PNG pictures, with Debian's libpng as the
// desktop's Qt reads them: the browser reduces 16-bit samples to 8 bits
// otherwise than Qt, and its canvas premultiplies colours by alpha, so a PNG
// it decodes need not give the desktop's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fit/rgba_picture.h"

namespace kws::web {

// The PNG at path as 8-bit RGBA, straight alpha, no colour management:
// 16-bit samples rounded to the nearest 8-bit level, palettes, grey levels
// and transparency expanded. Nothing when the file is no PNG, when it holds
// more than max_pixels pixels, or when libpng cannot read all of it (the
// browser then tries, and says why it cannot).
std::optional<RgbaPicture> ReadPng(const std::string& path, uint64_t max_pixels);

}  // namespace kws::web
