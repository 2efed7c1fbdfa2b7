// The modal dialogs the window uses, behind a seam: the real ones show Qt
// dialogs; tests give a stand-in that answers at once.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace kws {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The chosen file, or nothing when the dialog was cancelled.
  virtual std::optional<QString> GetOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                                 const QString& default_suffix) = 0;
  virtual void ShowMessage(QWidget* parent, const QString& title, const QString& text) = 0;
};

// Qt's file dialog and message box.
class QtDialogs : public Dialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                         const QString& default_suffix) override;
  void ShowMessage(QWidget* parent, const QString& title, const QString& text) override;
};

}  // namespace kws
