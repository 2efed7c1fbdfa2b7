#include "ui/log_panel.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace kws {

namespace {

constexpr int kKindRole = Qt::UserRole + 1;
// Enough entries for a long day of work; the oldest go first beyond this.
constexpr int kMaxEntries = 5000;

bool DarkTheme(const QWidget* widget) { return widget->palette().color(QPalette::Base).lightness() < 128; }

// Colours readable on the theme's own background, light or dark.
QColor KindColour(LogPanel::Kind kind, bool dark) {
  switch (kind) {
    case LogPanel::Kind::kError:
      return dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xb0, 0x1c, 0x1c);
    case LogPanel::Kind::kWarning:
      return dark ? QColor(0xf0, 0xc0, 0x50) : QColor(0x8a, 0x5a, 0x00);
    case LogPanel::Kind::kInfo:
      break;
  }
  return {};
}

}  // namespace

LogPanel::LogPanel(QWidget* parent) : QDockWidget(QStringLiteral("Activity log"), parent) {
  setObjectName(QStringLiteral("ActivityLogPanel"));
  // Part of the window, never floating on its own.
  setFeatures(QDockWidget::DockWidgetClosable);
  setAllowedAreas(Qt::BottomDockWidgetArea);

  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(4, 2, 4, 4);
  list_ = new QListWidget(body);
  list_->setObjectName(QStringLiteral("ActivityLogList"));
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setUniformItemSizes(true);
  list_->setWordWrap(false);
  layout->addWidget(list_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* open = new QPushButton(QStringLiteral("Open log file"), body);
  open->setObjectName(QStringLiteral("OpenLogFileButton"));
  connect(open, &QPushButton::clicked, this, &LogPanel::openLogFileRequested);
  auto* copy = new QPushButton(QStringLiteral("Copy"), body);
  copy->setObjectName(QStringLiteral("CopyLogButton"));
  connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(Text()); });
  buttons->addWidget(open);
  buttons->addWidget(copy);
  layout->addLayout(buttons);
  setWidget(body);
  body->setFixedHeight(190);
}

LogPanel::Kind LogPanel::KindOfMessage(const QString& message) {
  if (message.startsWith(QStringLiteral("ERROR: "))) return Kind::kError;
  if (message.startsWith(QStringLiteral("WARNING: "))) return Kind::kWarning;
  return Kind::kInfo;
}

void LogPanel::AddEntry(const QString& time, const QString& message) {
  Add(time + QStringLiteral("  ") + message, KindOfMessage(message), false);
}

void LogPanel::AddNote(const QString& text, Kind kind) { Add(text, kind, true); }

void LogPanel::Add(const QString& text, Kind kind, bool note) {
  // One line per entry: a message with line breaks shows them as spaces.
  QString line = text;
  line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  auto* item = new QListWidgetItem(line);
  item->setData(kKindRole, static_cast<int>(kind));
  if (kind == Kind::kError) item->setIcon(style()->standardIcon(QStyle::SP_MessageBoxCritical));
  if (kind == Kind::kWarning) item->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
  if (kind != Kind::kInfo) item->setForeground(KindColour(kind, DarkTheme(list_)));
  if (note) {
    QFont font = item->font();
    font.setBold(true);
    item->setFont(font);
  }
  const bool at_end = list_->count() == 0 || list_->currentRow() < 0 || list_->currentRow() == list_->count() - 1;
  list_->addItem(item);
  while (list_->count() > kMaxEntries) delete list_->takeItem(0);
  if (at_end) list_->scrollToBottom();
}

QString LogPanel::Text() const {
  QStringList lines;
  for (int row = 0; row < list_->count(); ++row) lines << list_->item(row)->text();
  return lines.join(QLatin1Char('\n'));
}

int LogPanel::Count() const { return list_->count(); }

LogPanel::Kind LogPanel::KindOf(int row) const { return static_cast<Kind>(list_->item(row)->data(kKindRole).toInt()); }

}  // namespace kws

namespace kws {

QColor LogPanel::ColourOf(int row) const { return list_->item(row)->foreground().color(); }

}  // namespace kws
