#include "support/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "format/byte_order.h"
#include "log/activity_log.h"
#include "steps/steps.h"

namespace kws::test {

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  Bytes bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Hex(std::string_view hex) {
  Bytes out;
  std::string digits;
  for (char c : hex) {
    if (c != ' ' && c != '\n') digits += c;
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

void ScratchDirTest::SetUp() {
  saved_cwd_ = std::filesystem::current_path().string();
  std::string tmpl = (std::filesystem::temp_directory_path() / "kws-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
  dir_ = tmpl;
  std::filesystem::current_path(dir_);
  SetLogFilePath(Path("test.log"));
}

void ScratchDirTest::TearDown() {
  SetLogListener(nullptr);
  SetLogFilePath("");
  std::filesystem::current_path(saved_cwd_);
  std::error_code ec;
  // Folders made read-only by a test must not keep the scratch folder alive.
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
  std::filesystem::remove_all(dir_, ec);
}

std::string ScratchDirTest::LogText() const {
  if (!Exists(Path("test.log"))) return {};
  const Bytes b = ReadBytes(Path("test.log"));
  return std::string(b.begin(), b.end());
}

std::vector<std::string> ScratchDirTest::LogMessages() const { return LogMessagesIn(Path("test.log")); }

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, Bytes> FilesWithBytes(const std::string& folder) {
  std::map<std::string, Bytes> files;
  for (const std::string& name : FilesIn(folder)) files[name] = ReadBytes(folder + "/" + name);
  return files;
}

std::vector<std::string> LogMessagesIn(const std::string& log_file) {
  std::vector<std::string> messages;
  if (!Exists(log_file)) return messages;
  const Bytes bytes = ReadBytes(log_file);
  const std::string text(bytes.begin(), bytes.end());
  const std::string marker = " => ";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const size_t m = line.find(marker);
    if (m == 23) messages.push_back(line.substr(m + marker.size()));
    pos = end + 2;
  }
  return messages;
}

void MakeChainFiles(const BitmapRecipe& recipe) {
  WriteBytes("in.bmp", MakeBitmap(recipe));
  ASSERT_EQ(convbmp("in.bmp", "ct", "raw"), 0);
  ASSERT_EQ(rawconv("raw", "raw2"), 0);
  ASSERT_EQ(gzip_f9("raw2", "raw2.gz"), 0);
  ASSERT_EQ(dd("ct", "raw2.gz", "tmp"), 0);
  ASSERT_EQ(addheader("tmp", "tmp2", "welcome"), 0);
  ASSERT_EQ(appendbin(kUsbModel200.partition_size, "welcome", "part"), 0);
  ASSERT_EQ(mkusbimg200("part", "usb"), 0);
}

Rgb GeneratedColor(const BitmapRecipe& recipe, uint32_t i) {
  return Rgb{static_cast<uint8_t>(i * 7 + recipe.seed), static_cast<uint8_t>(i * 13 + 3 * recipe.seed),
             static_cast<uint8_t>(255 - i)};
}

uint8_t GeneratedPixel(const BitmapRecipe& recipe, uint32_t x, uint32_t stored_row) {
  return static_cast<uint8_t>((x / 8 + stored_row * 3 + recipe.seed * 5) & 0xFF);
}

Bytes MakeBitmap(const BitmapRecipe& recipe) {
  const bool core = recipe.info_size == 12;
  const uint32_t entry_size = core ? 3 : 4;
  const uint32_t palette_start = 14 + std::max<uint32_t>(recipe.info_size, 40);
  const uint32_t pixel_offset = palette_start + recipe.palette_entries * entry_size + recipe.gap_before_pixels;
  Bytes b(pixel_offset + size_t{recipe.pixel_rows} * recipe.row_bytes, 0);

  b[0] = 'B';
  b[1] = 'M';
  PutLE32(&b[2], static_cast<uint32_t>(b.size()));
  PutLE32(&b[10], pixel_offset);
  PutLE32(&b[14], recipe.info_size);
  PutLE32(&b[18], static_cast<uint32_t>(recipe.width));
  PutLE32(&b[22], static_cast<uint32_t>(recipe.height));
  PutLE16(&b[26], 1);
  PutLE16(&b[28], recipe.bit_count);
  PutLE32(&b[30], recipe.compression);
  PutLE32(&b[46], recipe.colors_used);
  // Bytes between the 40-byte header and the palette of a larger header stay
  // 0xEE so that a reader that ignores the header size sees a wrong palette.
  for (uint32_t i = 54; i < palette_start; ++i) b[i] = 0xEE;
  for (uint32_t i = 0; i < recipe.palette_entries; ++i) {
    const Rgb c = GeneratedColor(recipe, i);
    uint8_t* e = &b[palette_start + i * entry_size];
    e[0] = c.b;
    e[1] = c.g;
    e[2] = c.r;
  }
  for (uint32_t i = 0; i < recipe.gap_before_pixels; ++i) b[pixel_offset - 1 - i] = 0xDD;
  for (uint32_t row = 0; row < recipe.pixel_rows; ++row) {
    for (uint32_t x = 0; x < recipe.row_bytes; ++x) {
      b[pixel_offset + size_t{row} * recipe.row_bytes + x] = GeneratedPixel(recipe, x, row);
    }
  }
  return b;
}

// A 720 x 576 picture in 12 colours, in bands.
Picture8 BandedPicture() {
  Picture8 p;
  for (int i = 0; i < 12; ++i) p.palette.push_back({uint8_t(20 * i), uint8_t(255 - 20 * i), uint8_t(90 + 10 * i)});
  p.pixels.resize(kPictureBytes);
  for (int y = 0; y < kPictureHeight; ++y) {
    for (int x = 0; x < kPictureWidth; ++x) p.pixels[size_t(y) * kPictureWidth + x] = uint8_t((x / 60 + y / 48) % 12);
  }
  return p;
}

// The picture as an 8-bit run-length-encoded bitmap (compression 1): per
// row, runs of one index as count and index, the row closed by 00 00, the
// last one by 00 01 (end of bitmap). Rows bottom-up.
Bytes Rle8Bitmap(const Picture8& p) {
  Bytes data;
  for (int y = p.height - 1; y >= 0; --y) {
    const uint8_t* row = p.pixels.data() + size_t(y) * size_t(p.width);
    for (int x = 0; x < p.width;) {
      int run = 1;
      while (x + run < p.width && run < 255 && row[x + run] == row[x]) ++run;
      data.insert(data.end(), {uint8_t(run), row[x]});
      x += run;
    }
    data.insert(data.end(), {0, uint8_t(y == 0 ? 1 : 0)});
  }
  const uint32_t offset = 54 + 4 * uint32_t(p.palette.size());
  Bytes b(offset, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLE32(&b[2], offset + uint32_t(data.size()));
  PutLE32(&b[10], offset);
  PutLE32(&b[14], 40);
  PutLE32(&b[18], uint32_t(p.width));
  PutLE32(&b[22], uint32_t(p.height));
  PutLE16(&b[26], 1);
  PutLE16(&b[28], 8);
  PutLE32(&b[30], 1);
  PutLE32(&b[34], uint32_t(data.size()));
  PutLE32(&b[46], uint32_t(p.palette.size()));
  for (size_t i = 0; i < p.palette.size(); ++i) {
    b[54 + 4 * i] = p.palette[i].b;
    b[55 + 4 * i] = p.palette[i].g;
    b[56 + 4 * i] = p.palette[i].r;
  }
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// The picture as a GIF whose LZW data never compresses: every code a
// literal at 9 bits, with a clear code often enough that the decoder's
// table never needs a wider code.
Bytes LiteralGif(const Picture8& p) {
  Bytes b = ToBytes("GIF89a");
  const auto le16 = [&](int v) { b.insert(b.end(), {uint8_t(v & 0xFF), uint8_t(v >> 8)}); };
  le16(p.width);
  le16(p.height);
  b.insert(b.end(), {0xF7, 0, 0});  // 256-entry global colour table
  for (int i = 0; i < 256; ++i) {
    const Rgb c = i < int(p.palette.size()) ? p.palette[size_t(i)] : Rgb{};
    b.insert(b.end(), {c.r, c.g, c.b});
  }
  b.push_back(0x2C);
  le16(0);
  le16(0);
  le16(p.width);
  le16(p.height);
  b.insert(b.end(), {0, 8});  // no local table; LZW minimum code size 8
  constexpr unsigned kClear = 256, kEnd = 257, kLiteralsPerClear = 200;
  Bytes codes;
  uint32_t bits = 0, count = 0;
  const auto put = [&](unsigned code) {
    bits |= code << count;
    for (count += 9; count >= 8; count -= 8, bits >>= 8) codes.push_back(uint8_t(bits));
  };
  for (size_t i = 0; i < p.pixels.size(); ++i) {
    if (i % kLiteralsPerClear == 0) put(kClear);
    put(p.pixels[i]);
  }
  put(kEnd);
  if (count > 0) codes.push_back(uint8_t(bits));
  for (size_t at = 0; at < codes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, codes.size() - at);
    b.push_back(uint8_t(n));
    b.insert(b.end(), codes.begin() + ptrdiff_t(at), codes.begin() + ptrdiff_t(at + n));
  }
  b.insert(b.end(), {0, 0x3B});  // end of the data, end of the file
  return b;
}

Bytes TiffHeaderOnly(uint32_t width, uint32_t height, int samples) {
  Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0, 9, 0};
  const auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
    b.insert(b.end(), {uint8_t(tag), uint8_t(tag >> 8), uint8_t(type), 0, 1, 0, 0, 0});
    b.insert(b.end(), {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)});
  };
  constexpr uint16_t kShort = 3, kLong = 4;
  const auto rgb = samples == 3;
  entry(256, kLong, width);
  entry(257, kLong, height);
  entry(258, kShort, 8);                               // bits per sample
  entry(259, kShort, 1);                               // no compression
  entry(262, kShort, rgb ? 2 : 1);                     // RGB, or grey with black at zero
  entry(273, kLong, 0);                                // the strip's offset
  entry(277, kShort, static_cast<uint32_t>(samples));  // samples per pixel
  entry(278, kLong, height);                           // rows per strip
  entry(279, kLong, 0);                                // the strip's length
  b.insert(b.end(), {0, 0, 0, 0});
  return b;
}

}  // namespace kws::test
