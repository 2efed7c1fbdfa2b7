// The modal dialogs the window uses, behind a seam: the real ones show Qt
// dialogs; tests give a stand-in that answers at once.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

#include "picture/import_picture.h"

class QWidget;

namespace kws {

// The result of checking an update image, as a dialog shows it.
struct Verdict {
  enum class Kind { kSound, kDamaged, kNotAnImage };
  Kind kind = Kind::kSound;
  QString headline;  // "Sound: USB update image for borvik200 ... — safe to flash"
  QString details;   // the file, then the report's lines
};

// The import as its dialog ends: the options chosen, and the picture the
// dialog had made and shown with them, which is then written as it is.
struct ImportChoice {
  ImportOptions options;
  std::optional<ImportedPicture> imported;  // none: not made yet, the import makes it
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The chosen file, or nothing when the dialog was cancelled. directory:
  // where the dialog starts (empty: wherever it likes).
  virtual std::optional<QString> GetOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                                 const QString& default_suffix, const QString& directory) = 0;
  virtual void ShowMessage(QWidget* parent, const QString& title, const QString& text) = 0;
  // The file to write, or nothing when cancelled; suggested: the proposed path.
  // It does not ask about replacing an existing file: the window does.
  virtual std::optional<QString> GetSaveFileName(QWidget* /*parent*/, const QString& /*title*/,
                                                 const QString& /*filter*/, const QString& /*suggested*/) {
    return std::nullopt;
  }
  // Shows a checked image's verdict; by default as a plain message of its details.
  virtual void ShowVerdict(QWidget* parent, const QString& title, const Verdict& verdict) {
    ShowMessage(parent, title, verdict.details);
  }
  // A yes/no question; by default yes.
  virtual bool Confirm(QWidget* /*parent*/, const QString& /*title*/, const QString& /*text*/) { return true; }
  // Opens a file or folder in the desktop's own application.
  virtual void OpenUrl(const QUrl& url) = 0;
  // The import's options for the picture, starting from options, with a
  // preview; nothing when cancelled. By default the options as they are.
  virtual std::optional<ImportOptions> GetImportOptions(QWidget* /*parent*/, const QString& /*picture*/,
                                                        const ImportOptions& options) {
    return options;
  }
  // The same with what the dialog made; by default only the options.
  virtual std::optional<ImportChoice> GetImport(QWidget* parent, const QString& picture, const ImportOptions& options) {
    std::optional<ImportOptions> chosen = GetImportOptions(parent, picture, options);
    if (!chosen) return std::nullopt;
    return ImportChoice{*chosen, std::nullopt};
  }
};

// Qt's file dialog and message box.
class QtDialogs : public Dialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget* parent, const QString& title, const QString& filter,
                                         const QString& default_suffix, const QString& directory) override;
  void ShowMessage(QWidget* parent, const QString& title, const QString& text) override;
  std::optional<QString> GetSaveFileName(QWidget* parent, const QString& title, const QString& filter,
                                         const QString& suggested) override;
  void ShowVerdict(QWidget* parent, const QString& title, const Verdict& verdict) override;
  bool Confirm(QWidget* parent, const QString& title, const QString& text) override;
  void OpenUrl(const QUrl& url) override;
  std::optional<ImportOptions> GetImportOptions(QWidget* parent, const QString& picture,
                                                const ImportOptions& options) override;
  std::optional<ImportChoice> GetImport(QWidget* parent, const QString& picture, const ImportOptions& options) override;
};

}  // namespace kws
