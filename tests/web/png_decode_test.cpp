// The page's own reading of PNGs against the desktop's: every kind of PNG
// (each bit depth, grey, palette, alpha, a transparent colour, interlaced)
// gives the RGBA that the desktop's reader gives, byte for byte; what is no
// PNG, too large or damaged is left to the browser.
#include "png_decode.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "picture/canvas.h"
#include "support/test_support.h"

namespace kws::web {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::ScratchDirTest;
using test::ToBytes;
using test::WriteBytes;

constexpr int kSide = 256;  // 65,536 pixels: every 16-bit value once in the first channel

struct PngKind {
  const char* name;
  int colour_type;
  int depth;
  bool interlaced = false;
  bool transparent_colour = false;  // a tRNS chunk
};

int Channels(int colour_type) {
  switch (colour_type) {
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    default:
      return 1;
  }
}

// Sample c of pixel i: the first runs through every value of the depth,
// the others are scattered over it.
uint32_t Sample(uint32_t i, int c, int depth) {
  const uint32_t mask = (1u << depth) - 1;
  return c == 0 ? i & mask : (i * (2 * c + 1) * 40503u + c * 12345u) & mask;
}

// Packs a row of samples as the PNG holds them, big-endian, high bits first.
std::vector<png_byte> PackRow(const std::vector<uint32_t>& samples, int depth) {
  std::vector<png_byte> row((samples.size() * depth + 7) / 8);
  for (size_t s = 0; s < samples.size(); ++s) {
    if (depth == 16) {
      row[2 * s] = static_cast<png_byte>(samples[s] >> 8);
      row[2 * s + 1] = static_cast<png_byte>(samples[s]);
    } else {
      const size_t bit = s * depth;
      row[bit / 8] |= static_cast<png_byte>(samples[s] << (8 - depth - bit % 8));
    }
  }
  return row;
}

void WritePng(const std::string& path, const PngKind& kind) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, kSide, kSide, kind.depth, kind.colour_type,
               kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  const int entries = 1 << kind.depth;
  if (kind.colour_type == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette(entries);
    for (int e = 0; e < entries; ++e) {
      palette[e] = {static_cast<png_byte>(e * 53), static_cast<png_byte>(255 - e * 7), static_cast<png_byte>(e * 3)};
    }
    png_set_PLTE(png, info, palette.data(), entries);
  }
  if (kind.transparent_colour) {
    std::vector<png_byte> alphas(entries);
    for (int e = 0; e < entries; ++e) alphas[e] = static_cast<png_byte>(e * 37);
    // A grey or RGB picture's transparent colour: that of the second pixel.
    png_color_16 colour{
        0, static_cast<png_uint_16>(Sample(1, 0, kind.depth)), static_cast<png_uint_16>(Sample(1, 1, kind.depth)),
        static_cast<png_uint_16>(Sample(1, 2, kind.depth)), static_cast<png_uint_16>(Sample(1, 0, kind.depth))};
    if (kind.colour_type == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, alphas.data(), entries, nullptr);
    } else {
      png_set_tRNS(png, info, nullptr, 0, &colour);
    }
  }
  png_write_info(png, info);
  const int channels = Channels(kind.colour_type);
  std::vector<std::vector<png_byte>> rows;
  for (int y = 0; y < kSide; ++y) {
    std::vector<uint32_t> samples;
    for (int x = 0; x < kSide; ++x) {
      for (int c = 0; c < channels; ++c) samples.push_back(Sample(static_cast<uint32_t>(y * kSide + x), c, kind.depth));
    }
    rows.push_back(PackRow(samples, kind.depth));
  }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

class PngDecodeTest : public ScratchDirTest {};

TEST_F(PngDecodeTest, EveryKindOfPngGivesTheDesktopsPixels) {
  const PngKind kinds[] = {
      {"rgb16", PNG_COLOR_TYPE_RGB, 16},
      {"rgb16-interlaced", PNG_COLOR_TYPE_RGB, 16, true},
      {"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16},
      {"grey16", PNG_COLOR_TYPE_GRAY, 16},
      {"grey16-transparent-colour", PNG_COLOR_TYPE_GRAY, 16, false, true},
      {"grey-alpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16},
      {"rgb8", PNG_COLOR_TYPE_RGB, 8},
      {"rgba8-interlaced", PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
      {"grey8", PNG_COLOR_TYPE_GRAY, 8},
      {"grey-alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
      {"grey4", PNG_COLOR_TYPE_GRAY, 4},
      {"grey1", PNG_COLOR_TYPE_GRAY, 1},
      {"palette8", PNG_COLOR_TYPE_PALETTE, 8},
      {"palette8-transparent", PNG_COLOR_TYPE_PALETTE, 8, false, true},
      {"palette2-interlaced-transparent", PNG_COLOR_TYPE_PALETTE, 2, true, true},
  };
  for (const PngKind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    const std::string path = Path(std::string(kind.name) + ".png");
    WritePng(path, kind);
    const std::optional<RgbaPicture> page = ReadPng(path, kSide * kSide);
    ASSERT_TRUE(page.has_value());
    const RgbaPicture desktop = ToRgba(ReadPicture(path).image);
    ASSERT_EQ(page->width, desktop.width);
    ASSERT_EQ(page->height, desktop.height);
    size_t differing = 0;
    for (size_t i = 0; i < desktop.rgba.size(); ++i) differing += page->rgba[i] != desktop.rgba[i];
    EXPECT_EQ(differing, 0u);
  }
}

// The one kind the desktop reads wrong: Qt takes a 16-bit RGB picture with a
// transparent colour for four channels where libpng gives it three, and its
// picture comes out garbled. The page reads it as it is.
TEST_F(PngDecodeTest, A16BitRgbPngWithATransparentColourIsReadAsItIs) {
  const std::string path = Path("rgb16-transparent-colour.png");
  WritePng(path, {"rgb16-transparent-colour", PNG_COLOR_TYPE_RGB, 16, false, true});
  const std::optional<RgbaPicture> page = ReadPng(path, kSide * kSide);
  ASSERT_TRUE(page.has_value());
  for (const uint32_t i : {0u, 1u, 2u, 1000u, 65535u}) {
    SCOPED_TRACE(i);
    const uint8_t* pixel = page->rgba.data() + 4 * i;
    for (int c = 0; c < 3; ++c) EXPECT_EQ(pixel[c], (Sample(i, c, 16) + 128) / 257);
    // The second pixel's colour is the transparent one.
    EXPECT_EQ(pixel[3], i == 1 ? 0 : 255);
  }
  const RgbaPicture desktop = ToRgba(ReadPicture(path).image);
  EXPECT_NE(page->rgba, desktop.rgba) << "the desktop reads it right now: add it to the kinds above";
}

TEST_F(PngDecodeTest, WhatIsNoWholePngWithinTheLimitIsLeftToTheBrowser) {
  WritePng(Path("whole.png"), {"rgb8", PNG_COLOR_TYPE_RGB, 8});
  const Bytes whole = ReadBytes(Path("whole.png"));
  WriteBytes(Path("cut.png"), Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
  WriteBytes(Path("text.png"), ToBytes("no picture"));
  EXPECT_FALSE(ReadPng(Path("cut.png"), kSide * kSide));
  EXPECT_FALSE(ReadPng(Path("text.png"), kSide * kSide));
  EXPECT_FALSE(ReadPng(Path("missing.png"), kSide * kSide));
  EXPECT_FALSE(ReadPng(Path("whole.png"), kSide * kSide - 1));
  EXPECT_TRUE(ReadPng(Path("whole.png"), kSide * kSide));
}

}  // namespace
}  // namespace kws::web
