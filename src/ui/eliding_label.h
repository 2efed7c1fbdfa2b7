// A status field's label that never cuts a word: a text too long for its
// place gives up characters in the middle of its path first (a path's middle
// folders say least), then whole words at its end, marked with "…". text()
// and the tooltip stay the whole text.
#pragma once

#include <QFontMetrics>
#include <QLabel>
#include <QString>
#include <utility>

namespace kws {

// Where the path in text lies: [first, second), or first == second when it
// has none. A path begins with "/" or "~/" at the start or after a space or
// "(", and runs to the end of the text or to the first ": ", ", ", "; ", ")"
// or " — " after it.
std::pair<qsizetype, qsizetype> PathSpan(const QString& text);

// The text as it fits into width: whole, its path elided in the middle, or
// cut after a whole word with "…".
QString FitText(const QString& text, const QFontMetrics& metrics, int width);

// The least width at which the text keeps every word outside its path and
// the path's last part ("…/name.bmp").
int ReadableWidth(const QString& text, const QFontMetrics& metrics);

class ElidingLabel : public QLabel {
 public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  // What the label shows now, at its width.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace kws
