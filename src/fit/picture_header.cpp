#include "fit/picture_header.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "format/byte_order.h"

namespace kws {

namespace {

// Enough for every format's size but a JPEG's, whose frame header may come
// after its other segments: those are skipped through the file.
constexpr size_t kHeadBytes = 64;
// A JPEG's segments before its frame header are followed this far.
constexpr int kMaxJpegSegments = 4096;

uint32_t GetBE16(const uint8_t* at) { return (uint32_t{at[0]} << 8) | at[1]; }
uint32_t GetLE24(const uint8_t* at) { return at[0] | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16); }

bool Starts(const std::vector<uint8_t>& head, const char* text, size_t at = 0) {
  const size_t n = std::strlen(text);
  return head.size() >= at + n && std::memcmp(head.data() + at, text, n) == 0;
}

std::optional<PictureHeader> Sized(const char* format, uint32_t width, uint32_t height) {
  return PictureHeader{format, width, height, false};
}

std::optional<PictureHeader> PngHeader(const std::vector<uint8_t>& h) {
  if (h.size() < 24 || !Starts(h, "IHDR", 12)) return std::nullopt;
  return Sized("png", GetBE32(h.data() + 16), GetBE32(h.data() + 20));
}

std::optional<PictureHeader> GifHeader(const std::vector<uint8_t>& h) {
  if (h.size() < 10) return std::nullopt;
  return Sized("gif", GetLE16(h.data() + 6), GetLE16(h.data() + 8));
}

std::optional<PictureHeader> BmpHeader(const std::vector<uint8_t>& h) {
  if (h.size() < 26) return std::nullopt;
  const uint32_t info_size = GetLE32(h.data() + 14);
  if (info_size == 12) return Sized("bmp", GetLE16(h.data() + 18), GetLE16(h.data() + 20));
  if (info_size < 40 || h.size() < 34) return std::nullopt;
  const auto width = static_cast<int32_t>(GetLE32(h.data() + 18));
  const auto height = static_cast<int32_t>(GetLE32(h.data() + 22));
  const uint32_t compression = GetLE32(h.data() + 30);
  std::optional<PictureHeader> header =
      Sized("bmp", static_cast<uint32_t>(std::abs(int64_t{width})), static_cast<uint32_t>(std::abs(int64_t{height})));
  header->run_length = compression == 1 || compression == 2;
  return header;
}

std::optional<PictureHeader> WebpHeader(const std::vector<uint8_t>& h) {
  if (h.size() < 30) return std::nullopt;
  if (Starts(h, "VP8 ", 12)) return Sized("webp", GetLE16(h.data() + 26) & 0x3fff, GetLE16(h.data() + 28) & 0x3fff);
  if (Starts(h, "VP8L", 12)) {
    const uint32_t bits = GetLE32(h.data() + 21);
    return Sized("webp", (bits & 0x3fff) + 1, ((bits >> 14) & 0x3fff) + 1);
  }
  if (Starts(h, "VP8X", 12)) return Sized("webp", GetLE24(h.data() + 24) + 1, GetLE24(h.data() + 27) + 1);
  return std::nullopt;
}

// A JPEG's frame header (SOF0 to SOF15 but DHT, JPG and DAC), found by
// walking its segments from the start.
std::optional<PictureHeader> JpegHeader(std::ifstream& file) {
  std::streamoff at = 2;
  for (int segment = 0; segment < kMaxJpegSegments; ++segment) {
    std::array<uint8_t, 9> s{};
    file.clear();
    file.seekg(at);
    if (!file.read(reinterpret_cast<char*>(s.data()), s.size())) return std::nullopt;
    if (s[0] != 0xFF) return std::nullopt;
    const uint8_t marker = s[1];
    if (marker == 0xFF) {  // fill bytes before a marker
      ++at;
      continue;
    }
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      return Sized("jpeg", GetBE16(s.data() + 7), GetBE16(s.data() + 5));
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // no frame before the data
    at += 2 + static_cast<std::streamoff>(GetBE16(s.data() + 2));
  }
  return std::nullopt;
}

}  // namespace

std::optional<PictureHeader> ReadPictureHeader(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<uint8_t> head(kHeadBytes);
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(file.gcount()));
  if (Starts(head, "\x89PNG\r\n\x1a\n")) return PngHeader(head);
  if (Starts(head, "GIF87a") || Starts(head, "GIF89a")) return GifHeader(head);
  if (Starts(head, "BM")) return BmpHeader(head);
  if (Starts(head, "RIFF") && Starts(head, "WEBP", 8)) return WebpHeader(head);
  if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return JpegHeader(file);
  return std::nullopt;
}

}  // namespace kws
