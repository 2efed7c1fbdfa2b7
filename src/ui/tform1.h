// The main window: preview, status line, File menu, the one-click button and
// the hidden single-step buttons. All processing is the driver's; the window
// only shows what the driver asks it to, and says around it what happened.
// The rest has rooms of its own, which the window owns and wires: the View
// menu's TV views (TvView), the second status field and the run's outcome
// (OutcomeField), the actions beyond opening and converting (ExtraActions),
// File > Open Recent (RecentMenu) and the activity log panel (LogPanel).
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/run_view.h"
#include "driver/startup.h"
#include "fileio/destination.h"
#include "format/bitmap.h"
#include "log/activity_log.h"
#include "picture/tv_display.h"
#include "ui/dialogs.h"
#include "ui/recent_menu.h"
#include "ui/window_fit.h"

class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QSettings;
class QStatusBar;
class QToolButton;

namespace kws {

class ExtraActions;
class LogPanel;
class OutcomeField;
class TvView;

class TForm1 : public QMainWindow, public RunView {
  Q_OBJECT

 public:
  // dialogs: the seam for the open dialog and message boxes (Qt's when null).
  // base: where the working folders go; empty means beside the executable,
  // or the user's data folder when that cannot be written.
  explicit TForm1(Dialogs* dialogs = nullptr, const QString& base = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // RunView
  std::string ShowPicture(const std::string& path) override;
  void SetStatus(const std::string& text) override;
  void ProcessEvents() override;
  void SetGoEnabled(bool enabled) override;
  void SetBusyCursor(bool busy) override;
  void ShowMessage(const std::string& text) override;
  std::string StopRequested() override;
  void PictureStarting(int index, int total, const std::string& picture) override;
  void ImageWritten(const std::string& path, std::span<const uint8_t> bytes) override;
  void PictureDone(const PictureOutcome& outcome) override;

  // Handlers, named after their controls.
  void Open1Click();
  // Turns any picture into a bitmap in the Input folder and opens that.
  void Import1Click();
  void CheckImage1Click();
  void ExtractPicture1Click();
  void ClosePicture1Click();
  // Writes the test card beside the working folders and opens it.
  void TestCard1Click();
  void About1Click();
  void Exit1Click();
  void ButtonGoClick();
  // Stops a running batch after the picture it is converting.
  void CancelClick();
  // Opens a picture as File > Open does once a file is chosen.
  void OpenPicture(const QString& path);
  // Imports a picture with the options last chosen, into a bitmap of its
  // name in Input. A file there is replaced only when an import made it or
  // the user says so; the picture itself (a bitmap in Input of another kind)
  // never: the import then goes beside it (holiday-1.bmp).
  void ImportPicture(const QString& path);
  void ImportPicture(const QString& path, const ImportOptions& options);
  // As File > Import picture... does once a file is chosen: the import's
  // dialog, then the import.
  void ImportWithOptions(const QString& path);
  // The import's options as last chosen in its dialog.
  ImportOptions RememberedImportOptions() const;
  // A picture named on the command line, as "Open with" of a file manager
  // hands it on: a bitmap the pipeline takes opens as it is, any other
  // picture (or a bitmap of another size or kind) is imported.
  void OpenFromCommandLine(const QString& path);
  // The same by the name's own bytes, which need not be UTF-8.
  void OpenPictureFile(const std::string& name);

  const StartupResult& Startup() const { return startup_; }
  Driver& RunDriver() { return *driver_; }
  LogPanel* ActivityLog() const { return log_panel_; }
  // The files of File > Open Recent, newest first.
  QStringList RecentFiles() const;

  static constexpr int kMaxRecentFiles = RecentMenu::kMaxFiles;

 protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The actions beyond opening and converting work on the window itself.
  friend class ExtraActions;

  void FormCreate(const QString& base);
  void FormShow();
  void BuildMenu();
  void BuildClientArea();
  void BuildStepButtons(QWidget* client);

  // The layout at this preview scale (1: the fixed layout).
  void LayOut(double scale);
  // Scales the preview down when the window would not fit the screen.
  void FitToScreen();

  void OnLogMessage(const std::string& message, const std::string& note);

  // Dialogs that remember their folder.
  std::optional<QString> AskOpen(const char* key, const QString& title, const QString& filter, const QString& suffix);
  void OpenFolder(const std::string& folder);

  Dialogs* dialogs_;
  std::unique_ptr<Dialogs> own_dialogs_;
  StartupResult startup_;
  std::unique_ptr<Driver> driver_;
  // The log panel follows the log while the window is open.
  std::optional<ScopedLogListener> log_listener_;
  bool shown_once_ = false;
  bool busy_ = false;
  bool running_ = false;
  bool cancel_requested_ = false;

  std::unique_ptr<TvView> tv_view_;
  std::unique_ptr<ExtraActions> extras_;

  QFrame* panel_ = nullptr;
  QLabel* no_picture_ = nullptr;
  QLabel* image_ = nullptr;
  QToolButton* button_go_ = nullptr;
  std::vector<QPushButton*> step_buttons_;
  QStatusBar* status_bar_ = nullptr;
  QLabel* status_text_ = nullptr;
  std::unique_ptr<OutcomeField> outcome_;
  LogPanel* log_panel_ = nullptr;
  std::unique_ptr<RecentMenu> recent_;
  // Actions that change the opened picture: not while a run goes on.
  std::vector<QAction*> picture_actions_;
  QAction* make_images_ = nullptr;
};

}  // namespace kws
