// Writes the seed corpus of every fuzz target from pictures the project makes
// itself: make_seeds DIR creates DIR/<target>/ with a few valid and nearly
// valid inputs each.
#include <zlib.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fileio/file.h"
#include "format/bitmap.h"
#include "format/byte_order.h"
#include "log/activity_log.h"
#include "sample/sample_picture.h"
#include "steps/steps.h"

namespace fs = std::filesystem;
using namespace kws;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ReadAll(const std::string& path) {
  InputFile in(path);
  Bytes bytes(static_cast<size_t>(in.Size()));
  in.Read(bytes.data(), bytes.size());
  return bytes;
}

// A small drawing: a gradient, a flat ellipse and a transparent band along
// the bottom, something for every reader to decode.
QImage Drawing(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  QLinearGradient gradient(0, 0, width, height);
  gradient.setColorAt(0, QColor(240, 180, 30));
  gradient.setColorAt(1, QColor(30, 60, 200));
  painter.fillRect(QRect(0, 0, width, height * 3 / 4), gradient);
  painter.setBrush(QColor(200, 30, 60));
  painter.drawEllipse(QRect(width / 4, height / 4, width / 2, height / 2));
  return image;
}

Bytes Encoded(const QImage& image, const char* format, int quality = -1, bool progressive = false) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  writer.setProgressiveScanWrite(progressive);
  if (!writer.write(image)) return {};
  return Bytes(data.begin(), data.end());
}

// Qt writes no GIF: an 8 x 4 one in four colours, by hand. Its LZW data
// holds every pixel as a literal 9-bit code after a clear code, so the
// decoder's table never needs a wider one.
Bytes TinyGif() {
  Bytes b = {'G', 'I', 'F', '8', '9', 'a', 8, 0, 4, 0, 0xF7, 0, 0};  // 8 x 4, 256-entry colour table
  for (int i = 0; i < 256; ++i) {
    b.insert(b.end(), {uint8_t(i % 4 == 1 ? 255 : 0), uint8_t(i % 4 == 2 ? 255 : 0), uint8_t(i % 4 == 3 ? 255 : 0)});
  }
  b.insert(b.end(), {0x2C, 0, 0, 0, 0, 8, 0, 4, 0, 0, 8});  // the image, no local table, codes of 8 bits
  Bytes codes;
  uint32_t bits = 0, count = 0;
  const auto put = [&](unsigned code) {
    bits |= code << count;
    for (count += 9; count >= 8; count -= 8, bits >>= 8) codes.push_back(uint8_t(bits));
  };
  put(256);  // clear
  for (unsigned pixel = 0; pixel < 32; ++pixel) put(pixel % 4);
  put(257);  // end
  if (count > 0) codes.push_back(uint8_t(bits));
  b.push_back(uint8_t(codes.size()));
  b.insert(b.end(), codes.begin(), codes.end());
  b.insert(b.end(), {0, 0x3B});  // end of the data, end of the file
  return b;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The bytes as a gzip member, as a .svgz holds its SVG.
Bytes Gzipped(const Bytes& bytes) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  Bytes out(deflateBound(&z, static_cast<uLong>(bytes.size())) + 32);
  z.next_in = const_cast<Bytef*>(bytes.data());
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// SVGs with what its reader must be kept from (a picture outside it, a
// style sheet) or needs fonts for (text), and a picture held inside.
std::vector<std::pair<std::string, Bytes>> SvgSeeds(const Bytes& png) {
  const std::string open =
      "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='24' height='16'>";
  const QByteArray base64 = QByteArray(reinterpret_cast<const char*>(png.data()), qsizetype(png.size())).toBase64();
  const std::string text = open + "<text x='1' y='12' font-size='10' fill='#ffff00'>Kw</text></svg>";
  return {
      {"text.svg", ToBytes(text)},
      {"text.svgz", Gzipped(ToBytes(text))},
      {"held.svg", ToBytes(open + "<image width='24' height='16' xlink:href='data:image/png;base64," +
                           base64.toStdString() + "'/></svg>")},
      {"outside.svg", ToBytes(open + "<image width='24' height='16' xlink:href='picture.png'/></svg>")},
      {"style.svg",
       ToBytes("<?xml-stylesheet type='text/css' href='a.css'?>" + open + "<rect width='4' height='4'/></svg>")},
      {"entity.svg", ToBytes("<!DOCTYPE svg [<!ENTITY t 'Kw'>]>" + open + "<text x='1' y='12'>&t;</text></svg>")},
  };
}

// SVGs whose drawing is counted before it is drawn: dashes, wide strokes,
// many paths, <use> of <use>, filters and gradients, each small, and each
// a step from over a limit.
std::vector<std::pair<std::string, Bytes>> CostlySvgSeeds() {
  const std::string open =
      "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='24' height='16' "
      "viewBox='0 0 240 160'>";
  std::string points, paths, uses;
  for (int i = 0; i < 40; ++i) points += std::to_string(i * 37 % 240) + "," + std::to_string(i * 53 % 160) + " ";
  for (int i = 0; i < 20; ++i) paths += "<path d='M" + std::to_string(i * 11) + " 5 l9 4 q3 3 -3 7 a4 4 0 1 1 2 2z'/>";
  for (int i = 0; i < 10; ++i) uses += "<use href='#g1'/>";
  return {
      {"dashed.svg", ToBytes(open +
                             "<polyline fill='none' stroke='red' stroke-width='20' stroke-dasharray='1 1' "
                             "points='" +
                             points + "'/></svg>")},
      {"wide.svg", ToBytes(open + "<g stroke='#0a0' style='stroke-width:30'><polyline fill='none' points='" + points +
                           "'/><circle cx='9' cy='9' r='80'/></g></svg>")},
      {"paths.svg",
       ToBytes(open + "<g fill='#f0b41e' stroke='black' transform='scale(2) rotate(9)'>" + paths + "</g></svg>")},
      {"uses.svg", ToBytes(open +
                           "<defs><rect id='r' width='9' height='9' stroke='red' stroke-dasharray='2'/>"
                           "<g id='g1'><use href='#r'/><use xlink:href='#r' x='9'/></g></defs>" +
                           uses + "</svg>")},
      {"filters.svg",
       ToBytes(open + "<filter id='b'><feGaussianBlur stdDeviation='3'/></filter>"
                      "<rect width='99' height='99' filter='url(#b)'/><circle r='40' style='filter:url(#b)'/></svg>")},
      {"gradients.svg",
       ToBytes(open + "<linearGradient id='l'><stop offset='0' stop-color='red'/><stop offset='1' stop-color='blue'/>"
                      "</linearGradient><radialGradient id='c'><stop offset='0.5' stop-color='#fff'/></radialGradient>"
                      "<rect width='240' height='80' fill='url(#l)'/><ellipse cx='120' cy='120' rx='90' ry='30' "
                      "fill='url(#c)' stroke='url(#l)' stroke-width='12' stroke-dasharray='5,3,1'/></svg>")},
  };
}

// Qt writes no run-length-coded bitmap: an 8 x 4 one in four colours, each
// row one run closed by 00 00, the last by 00 01 (end of bitmap).
Bytes RunLengthBitmap() {
  Bytes b(54 + 16, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLE32(&b[10], 54 + 16);
  PutLE32(&b[14], 40);
  PutLE32(&b[18], 8);
  PutLE32(&b[22], 4);
  PutLE16(&b[26], 1);
  PutLE16(&b[28], 8);
  PutLE32(&b[30], 1);  // RLE8
  PutLE32(&b[46], 4);
  for (int i = 0; i < 4; ++i) b[54 + 4 * i + i % 3] = 255;
  for (int row = 0; row < 4; ++row) b.insert(b.end(), {8, uint8_t(row), 0, uint8_t(row == 3 ? 1 : 0)});
  PutLE32(&b[2], uint32_t(b.size()));
  return b;
}

// GIFs cut short in the picture's data and after it, and one whose frame
// is far larger than its screen.
std::vector<std::pair<std::string, Bytes>> GifSeeds(const Bytes& gif) {
  Bytes huge_frame = gif;
  huge_frame[13 + 768 + 5] = huge_frame[13 + 768 + 6] = 0xFF;  // the frame's width
  return {
      {"cut-data.gif", Bytes(gif.begin(), gif.begin() + ptrdiff_t(gif.size() - 8))},
      {"no-end.gif", Bytes(gif.begin(), gif.end() - 1)},
      {"huge-frame.gif", huge_frame},
  };
}

Picture8 SixteenColours() {
  Picture8 p = MakeSamplePicture();
  p.palette.resize(16);
  for (auto& px : p.pixels) px &= 0x0F;
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const fs::path dir = fs::absolute(argv[1]);
  for (const char* target : {"convbmp", "rawconv", "pipeline", "inspect", "import", "svg_cost"}) {
    fs::create_directories(dir / target);
  }
  const auto put = [&](const char* target, const std::string& name, const Bytes& bytes) {
    WriteFileReplacing((dir / target / name).string(), bytes);
  };

  const Bytes sample = EncodeBitmap8(MakeSamplePicture());
  const Bytes sixteen = EncodeBitmap8(SixteenColours());
  for (const char* target : {"convbmp", "pipeline"}) {
    put(target, "sample.bmp", sample);
    put(target, "sixteen.bmp", sixteen);
    put(target, "header-only.bmp", Bytes(sample.begin(), sample.begin() + 54 + 1024));
  }

  // The raw picture and every image the pipeline makes from the sample.
  const fs::path home = dir / "home";
  SetLogFilePath("");
  const WorkingFolders folders = StartUp(home.string()).folders;
  SetLogFilePath("");
  WriteFileReplacing((home / "sample.bmp").string(), sample);
  NullRunView view;
  Driver driver(view, folders);
  if (driver.ProcessFile((home / "sample.bmp").string()) != 0) return 1;
  convbmp((home / "sample.bmp").string(), (home / "ct").string(), (home / "raw").string());
  Bytes raw = ReadAll((home / "raw").string());
  put("rawconv", "sample.raw", raw);
  raw.resize(8 + 720 * 10);
  put("rawconv", "short.raw", raw);
  for (const auto& e : fs::directory_iterator(folders.output))
    put("inspect", e.path().filename().string(), ReadAll(e.path().string()));
  fs::remove_all(home);

  // Small pictures of every kind the import reads; the input's length picks
  // filling or fitting, so each comes once either way.
  const QImage drawing = Drawing(24, 16);
  const std::vector<std::pair<std::string, Bytes>> pictures = {
      {"drawing.png", Encoded(drawing, "png")},
      {"drawing.jpg", Encoded(drawing.convertToFormat(QImage::Format_RGB32), "jpeg", 80)},
      {"progressive.jpg", Encoded(drawing.convertToFormat(QImage::Format_RGB32), "jpeg", 30, true)},
      {"drawing.bmp", Encoded(drawing.convertToFormat(QImage::Format_RGB32), "bmp")},
      {"indexed.bmp", Encoded(drawing.convertToFormat(QImage::Format_Indexed8), "bmp")},
      {"tiny.gif", TinyGif()},
      {"drawing.webp", Encoded(drawing, "webp", 50)},
      {"drawing.tiff", Encoded(drawing, "tiff")},
      {"drawing.svg",
       ToBytes("<svg xmlns='http://www.w3.org/2000/svg' width='24' height='16'>"
               "<rect width='24' height='12' fill='#f0b41e'/><circle cx='12' cy='8' r='4' fill='#c81e3c'/>"
               "</svg>")},
  };
  std::vector<std::pair<std::string, Bytes>> all = pictures;
  for (auto& seeds : {SvgSeeds(pictures[0].second), GifSeeds(TinyGif()), CostlySvgSeeds()})
    all.insert(all.end(), seeds.begin(), seeds.end());
  for (const auto& [name, bytes] : all) {
    if (name.ends_with(".svg")) put("svg_cost", name, bytes);
  }
  const Bytes rle = RunLengthBitmap();
  all.emplace_back("rle.bmp", rle);
  all.emplace_back("rle-cut.bmp", Bytes(rle.begin(), rle.begin() + ptrdiff_t(rle.size() - 5)));
  for (const auto& [name, bytes] : all) {
    if (bytes.empty()) continue;  // no writer for the format here
    put("import", name, bytes);
    Bytes other = bytes;
    other.push_back(0);
    put("import", "padded-" + name, other);
  }
  return 0;
}
