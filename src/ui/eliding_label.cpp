#include "ui/eliding_label.h"

#include <QPainter>
#include <array>

namespace kws {

namespace {

const QString kEllipsis = QStringLiteral("\u2026");

bool StartsPath(const QString& text, qsizetype at) {
  if (at > 0 && text[at - 1] != QLatin1Char(' ') && text[at - 1] != QLatin1Char('(')) return false;
  if (text[at] == QLatin1Char('/')) return true;
  return text[at] == QLatin1Char('~') && at + 1 < text.size() && text[at + 1] == QLatin1Char('/');
}

// The words of text that fit into width, with "…" after them.
QString WholeWords(const QString& text, const QFontMetrics& metrics, int width) {
  QString shown;
  for (qsizetype end = text.indexOf(QLatin1Char(' ')); end > 0; end = text.indexOf(QLatin1Char(' '), end + 1)) {
    const QString candidate = text.left(end) + kEllipsis;
    if (metrics.horizontalAdvance(candidate) > width) break;
    shown = candidate;
  }
  return shown.isEmpty() ? kEllipsis : shown;
}

}  // namespace

std::pair<qsizetype, qsizetype> PathSpan(const QString& text) {
  for (qsizetype at = 0; at < text.size(); ++at) {
    if (!StartsPath(text, at)) continue;
    qsizetype end = text.size();
    static const std::array<QString, 5> kEnds = {QStringLiteral(": "), QStringLiteral(", "), QStringLiteral("; "),
                                                 QStringLiteral(")"), QStringLiteral(" \u2014 ")};
    for (const QString& mark : kEnds) {
      const qsizetype found = text.indexOf(mark, at);
      if (found >= 0 && found < end) end = found;
    }
    return {at, end};
  }
  return {0, 0};
}

int ReadableWidth(const QString& text, const QFontMetrics& metrics) {
  const auto [first, end] = PathSpan(text);
  if (first == end) return metrics.horizontalAdvance(text);
  const QString path = text.mid(first, end - first);
  const QString last = path.mid(path.lastIndexOf(QLatin1Char('/')));
  return metrics.horizontalAdvance(text.left(first) + kEllipsis + last + text.mid(end)) + 1;
}

QString FitText(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  const auto [first, end] = PathSpan(text);
  if (first != end) {
    const QString before = text.left(first), after = text.mid(end);
    const int left = width - metrics.horizontalAdvance(before + after);
    if (left >= metrics.horizontalAdvance(kEllipsis)) {
      const QString path = metrics.elidedText(text.mid(first, end - first), Qt::ElideMiddle, left);
      if (!path.isEmpty()) return before + path + after;
    }
  }
  return WholeWords(text, metrics, width);
}

QString ElidingLabel::ShownText() const { return FitText(text(), fontMetrics(), contentsRect().width()); }

void ElidingLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  const int flags = (alignment() | Qt::AlignVCenter).toInt() | Qt::TextSingleLine;
  painter.drawText(contentsRect(), flags, ShownText());
}

}  // namespace kws
