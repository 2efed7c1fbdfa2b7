// The activity log panel: the log's entries since the window opened, as they
// are written, errors and warnings marked, with "Open log file" and "Copy".
// It is fed by the activity log's listener, so it shows exactly what the log
// is given; the window adds its own summary of a run as marked notes.
#pragma once

#include <QDockWidget>
#include <QString>

class QListWidget;
class QPushButton;

namespace kws {

class LogPanel : public QDockWidget {
  Q_OBJECT

 public:
  enum class Kind { kInfo, kWarning, kError };

  explicit LogPanel(QWidget* parent = nullptr);

  // One log entry as the log was given it; "ERROR: " and "WARNING: " mark it.
  void AddEntry(const QString& time, const QString& message);
  // The window's own note, not a log entry ("failed: a.bmp — ...").
  void AddNote(const QString& text, Kind kind);

  // Every line shown, one per line, as Copy puts it on the clipboard.
  QString Text() const;
  int Count() const;
  Kind KindOf(int row) const;
  QColor ColourOf(int row) const;

  static Kind KindOfMessage(const QString& message);

 signals:
  void openLogFileRequested();

 private:
  void Add(const QString& text, Kind kind, bool note);

  QListWidget* list_ = nullptr;
};

}  // namespace kws
