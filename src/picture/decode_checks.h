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

namespace kws {

// The most an SVG may take as text, unpacked: Qt holds the whole document,
// with several times its size in nodes, while it draws it.
inline constexpr qsizetype kMaxSvgBytes = qsizetype{8} << 20;

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

// What was cut short in a file its reader decoded: warnings for the user,
// or a refusal when nothing of the picture is left.
struct Damage {
  std::vector<std::string> warnings;
  std::optional<std::string> refusal;
};
Damage FindDamage(const QByteArray& file);

}  // namespace kws
