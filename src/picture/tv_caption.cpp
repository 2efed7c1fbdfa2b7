#include "picture/tv_caption.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>
#include <set>

#include "fit/import_error.h"
#include "picture/text_setting.h"
#include "picture/tv_display.h"

namespace kws {

namespace {

constexpr int kShadowOffset = 2;

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

}  // namespace

std::optional<CaptionPosition> ParseCaptionPosition(const std::string& text) {
  if (text == "top") return CaptionPosition::kTop;
  if (text == "bottom") return CaptionPosition::kBottom;
  return std::nullopt;
}

std::optional<std::string> DrawCaption(QImage& canvas, const Caption& caption) {
  if (caption.text.empty()) return std::nullopt;
  if (!EnsureTextSetting() || QFontDatabase::families().isEmpty()) {
    throw ImportError("No font for the caption: install the fonts-dejavu-core package");
  }
  const QRect safe = SafeRect(SafeArea::kTitle, canvas.size());
  // The text's room: the title-safe area less the shadow.
  const int room = safe.width() - kShadowOffset;
  const QString text = QString::fromStdString(caption.text).simplified();
  int size = kCaptionPixelSize;
  while (size > kMinCaptionPixelSize && QFontMetrics(CaptionFont(size)).horizontalAdvance(text) > room) --size;
  const QFont font = CaptionFont(size);
  const QFontMetrics metrics(font);
  const QString shown = metrics.elidedText(text, Qt::ElideRight, room);
  const int height = metrics.height();
  const int top = caption.position == CaptionPosition::kTop ? safe.top() : safe.bottom() + 1 - height - kShadowOffset;
  const QRect box(safe.left(), top, room, height);

  QPainter painter(&canvas);
  painter.setClipRect(safe);
  painter.setFont(font);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(QColor(16, 16, 16));
  painter.drawText(box.translated(kShadowOffset, kShadowOffset), Qt::AlignCenter, shown);
  painter.setPen(QColor(caption.color.r, caption.color.g, caption.color.b));
  painter.drawText(box, Qt::AlignCenter, shown);
  return MissingLettersWarning(shown, font);
}

}  // namespace kws
