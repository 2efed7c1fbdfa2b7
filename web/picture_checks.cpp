// The page's checks of a picture before the browser decodes or draws it,
// as the desktop makes them before its readers start: a picture's size from
// its header, and an SVG's drawing counted. Each returns a JSON text that
// stays valid until the next call of these two.
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "fit/picture_header.h"
#include "fit/svg_cost.h"

namespace kws::web {

namespace {

std::string g_checked;  // what the last call returned

const char* Checked(std::string json) {
  g_checked = std::move(json);
  return g_checked.c_str();
}

// The core's own reasons hold no quote, backslash or control character.
const char* Reason(const std::optional<std::string>& why) {
  return Checked(why ? "{\"error\":\"" + *why + "\"}" : "{\"error\":\"\"}");
}

}  // namespace

extern "C" {

// {"format": "png", "width": ..., "height": ..., "run_length": false} from
// the header of the picture at path, or {"format": ""} when it has none the
// page knows.
const char* kws_picture_header(const char* path) {
  const std::optional<PictureHeader> header = ReadPictureHeader(path);
  if (!header) return Checked("{\"format\":\"\"}");
  return Checked("{\"format\":\"" + header->format + "\",\"width\":" + std::to_string(header->width) + ",\"height\":" +
                 std::to_string(header->height) + ",\"run_length\":" + (header->run_length ? "true" : "false") + "}");
}

// {"error": why} when the SVG at path is too large or too complex to draw,
// in the desktop's words; an empty error when it may be drawn.
const char* kws_svg_refusal(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::string text;
  text.resize(kMaxSvgTextBytes + 1);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > kMaxSvgTextBytes) {
    file.seekg(0, std::ios::end);
    return Reason(SvgTextTooLarge(static_cast<uint64_t>(file.tellg())));
  }
  return Reason(SvgDrawingRefusal(text));
}

}  // extern "C"

}  // namespace kws::web
