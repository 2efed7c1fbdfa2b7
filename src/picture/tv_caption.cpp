#include "picture/tv_caption.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QStringList>
#include <QTextLayout>
#include <algorithm>
#include <set>
#include <string>

#include "fileio/name_text.h"
#include "fit/import_error.h"
#include "picture/text_setting.h"
#include "picture/tv_display.h"

namespace kws {

namespace {

constexpr int kShadowOffset = 2;
// Between a caption on its band and the picture.
constexpr int kBandGap = 6;

QFont CaptionFont(int pixel_size) {
  QFont font("DejaVu Sans");
  font.setStyleHint(QFont::SansSerif);
  font.setBold(true);
  font.setPixelSize(pixel_size);
  return font;
}

// Whether the character is drawn as the "no glyph" box: laid out alone,
// with the fonts Qt falls back to, every glyph it gets is glyph 0.
bool DrawnAsBox(char32_t character, const QFont& font) {
  QTextLayout layout(QString::fromUcs4(&character, 1), font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  for (const QGlyphRun& run : layout.glyphRuns()) {
    for (const quint32 glyph : run.glyphIndexes()) {
      if (glyph != 0) return false;
    }
  }
  return true;
}

// A warning naming the characters of text that no font here can draw.
std::optional<std::string> MissingLettersWarning(const QString& text, const QFont& font) {
  std::set<char32_t> missing;
  for (const char32_t character : text.toStdU32String()) {
    if (QChar::isSpace(character) || QChar::category(character) == QChar::Other_Control) continue;
    if (!missing.count(character) && DrawnAsBox(character, font)) missing.insert(character);
  }
  if (missing.empty()) return std::nullopt;
  std::u32string letters;
  for (const char32_t character : missing) letters.append(letters.empty() ? U"" : U" ").push_back(character);
  return "the caption's font has no " + std::string(missing.size() == 1 ? "letter" : "letters") + " for " +
         QString::fromStdU32String(letters).toStdString() + ": " + (missing.size() == 1 ? "it is" : "they are") +
         " drawn as boxes; change the caption or install a font that has them";
}

int Advance(const QString& text, int pixel_size) {
  return QFontMetrics(CaptionFont(pixel_size)).horizontalAdvance(text);
}

// The text on one line at the largest size at which it fits the room.
std::optional<CaptionLayout> SetInOneLine(const QString& text, int room) {
  for (int size = kCaptionPixelSize; size >= kMinCaptionPixelSize; --size) {
    if (Advance(text, size) <= room) return CaptionLayout{size, {text}, {}};
  }
  return std::nullopt;
}

// The text in two lines broken between words, at the largest size at which
// both fit the room; at each size the break that makes the longer line
// shortest.
std::optional<CaptionLayout> SetInTwoLines(const QString& text, int room) {
  const QStringList words = text.split(QLatin1Char(' '));
  for (int size = kCaptionPixelSize; size >= kMinCaptionPixelSize; --size) {
    std::optional<CaptionLayout> best;
    int best_width = room + 1;
    for (qsizetype at = 1; at < words.size(); ++at) {
      const QString first = words.mid(0, at).join(QLatin1Char(' '));
      const QString second = words.mid(at).join(QLatin1Char(' '));
      const int width = std::max(Advance(first, size), Advance(second, size));
      if (width < best_width) {
        best_width = width;
        best = CaptionLayout{size, {first, second}, {}};
      }
    }
    if (best) return best;
  }
  return std::nullopt;
}

// A control character (a line break, a tab, ESC, DEL, U+009B) has no glyph:
// it would be drawn as a box, or vanish into a space, without a word.
void RefuseControlCharacters(const std::string& text) {
  const QString caption = QString::fromStdString(text);
  for (const QChar c : caption) {
    if (c.category() != QChar::Other_Control) continue;
    throw ImportError("The caption holds the control character " + TerminalName(QString(c).toStdString()) +
                      ", which no font draws; a caption is one line of plain text");
  }
}

}  // namespace

std::optional<CaptionPosition> ParseCaptionPosition(const std::string& text) {
  if (text == "top") return CaptionPosition::kTop;
  if (text == "bottom") return CaptionPosition::kBottom;
  return std::nullopt;
}

CaptionLayout LayOutCaption(const Caption& caption, const QSize& canvas) {
  if (!EnsureTextSetting() || QFontDatabase::families().isEmpty()) {
    throw ImportError("No font for the caption: install the fonts-dejavu-core package");
  }
  RefuseControlCharacters(caption.text);
  const QRect safe = SafeRect(SafeArea::kTitle, canvas);
  // The text's room: the title-safe area less the shadow.
  const int room = safe.width() - kShadowOffset;
  const QString text = QString::fromStdString(caption.text).simplified();
  std::optional<CaptionLayout> set = SetInOneLine(text, room);
  if (!set) set = SetInTwoLines(text, room);
  if (!set) {
    throw ImportError("The caption is too long for the title-safe width (" + std::to_string(room) +
                      " pixels) even in two lines of " + std::to_string(kMinCaptionPixelSize) +
                      "-pixel letters; shorten it");
  }
  const QFontMetrics metrics(CaptionFont(set->pixel_size));
  const int height = metrics.lineSpacing() * (static_cast<int>(set->lines.size()) - 1) + metrics.height();
  const int top = caption.position == CaptionPosition::kTop ? safe.top() : safe.bottom() + 1 - height - kShadowOffset;
  set->box = QRect(safe.left(), top, safe.width(), height + kShadowOffset);
  return *set;
}

QRect RoomBesideBand(const CaptionLayout& layout, const Caption& caption, const QSize& canvas) {
  const QRect frame(QPoint(0, 0), canvas);
  if (caption.position == CaptionPosition::kTop) {
    return frame.adjusted(0, layout.box.bottom() + 1 + kBandGap, 0, 0);
  }
  return frame.adjusted(0, 0, 0, layout.box.top() - kBandGap - canvas.height());
}

std::optional<std::string> DrawCaption(QImage& canvas, const Caption& caption) {
  if (caption.text.empty()) return std::nullopt;
  const CaptionLayout layout = LayOutCaption(caption, canvas.size());
  const QFont font = CaptionFont(layout.pixel_size);
  const QFontMetrics metrics(font);
  const QRect safe = SafeRect(SafeArea::kTitle, canvas.size());

  QPainter painter(&canvas);
  painter.setClipRect(safe);
  painter.setFont(font);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QString shown;
  for (size_t i = 0; i < layout.lines.size(); ++i) {
    const QRect line(layout.box.left(), layout.box.top() + static_cast<int>(i) * metrics.lineSpacing(),
                     layout.box.width() - kShadowOffset, metrics.height());
    painter.setPen(QColor(16, 16, 16));
    painter.drawText(line.translated(kShadowOffset, kShadowOffset), Qt::AlignCenter, layout.lines[i]);
    painter.setPen(QColor(caption.color.r, caption.color.g, caption.color.b));
    painter.drawText(line, Qt::AlignCenter, layout.lines[i]);
    shown += layout.lines[i] + QLatin1Char(' ');
  }
  return MissingLettersWarning(shown, font);
}

}  // namespace kws
