// What the import settles from a picture file's own bytes, around Qt's
// readers: before one decodes them, that it stays inside the picture and
// within the limits (an SVG loads nothing from outside itself, a compressed
// one unpacks to no more than kMaxSvgBytes, no GIF frame is over the pixel
// limit); after, what the readers leave unsaid about a file cut short.
#pragma once

#include <QByteArray>
#include <QSize>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fit/svg_cost.h"

namespace kws {

// The most an SVG may take as text, unpacked (see fit/svg_cost.h).
inline constexpr qsizetype kMaxSvgBytes = static_cast<qsizetype>(kMaxSvgTextBytes);

// Why a picture of this size is not decoded; nothing when it may be.
std::optional<std::string> TooLarge(const QSize& size);

// The bytes one of Qt's readers may be given for a picture file, or why it
// may be given none.
struct CheckedPicture {
  QByteArray bytes;  // the file's own, or a compressed SVG unpacked
  bool svg = false;  // to be drawn by Qt's SVG reader, which sets text
  std::optional<std::string> refusal;
};
CheckedPicture CheckBeforeDecoding(const QByteArray& file);

// The first bytes of a file, enough for the decisions below.
inline constexpr qint64 kFileHeadBytes = 4096;

// Whether a file with this head is read whole, its bytes held while it is
// decoded: an SVG, compressed or not, and a GIF, which are checked whole; a
// run-length-coded bitmap, whose rows are counted after it is decoded; a
// WebP, which its readers take whole. Any other is read from the file as its
// reader goes, and its checks need no more than the head and the file's
// size.
bool NeedsWholeFile(const QByteArray& head);

// What was cut short in a file its reader decoded: warnings for the user,
// or a refusal when nothing of the picture is left. Given the file's size
// and its bytes, all of them when NeedsWholeFile says so, else the head.
struct Damage {
  std::vector<std::string> warnings;
  std::optional<std::string> refusal;
};
Damage FindDamage(const QByteArray& file, uint64_t file_size);

}  // namespace kws
