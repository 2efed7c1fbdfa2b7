// The main window: preview, status line, File menu, the one-click button and
// the hidden single-step buttons. All processing is the driver's; the window
// only shows what the driver asks it to.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>

#include "driver/driver.h"
#include "driver/run_view.h"
#include "driver/startup.h"
#include "ui/dialogs.h"

class QFrame;
class QLabel;
class QPushButton;
class QStatusBar;
class QToolButton;

namespace kws {

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

  // Handlers, named after their controls.
  void Open1Click();
  // Turns any picture into a bitmap in the Input folder and opens that.
  void Import1Click();
  void CheckImage1Click();
  void Exit1Click();
  void ButtonGoClick();
  // Opens a picture as File > Open does once a file is chosen.
  void OpenPicture(const QString& path);
  // Imports a picture as File > Import picture... does once a file is chosen.
  void ImportPicture(const QString& path);
  // A picture named on the command line, as "Open with" of a file manager
  // hands it on: a bitmap the pipeline takes opens as it is, any other
  // picture (or a bitmap of another size or kind) is imported.
  void OpenFromCommandLine(const QString& path);
  // The same by the name's own bytes, which need not be UTF-8.
  void OpenPictureFile(const std::string& name);

  const StartupResult& Startup() const { return startup_; }
  Driver& RunDriver() { return *driver_; }

  static constexpr int kClientWidth = 892;
  static constexpr int kClientHeight = 609;

 protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void FormCreate(const QString& base);
  void FormShow();
  void BuildMenu();
  void BuildClientArea();
  void BuildStepButtons(QWidget* client);

  Dialogs* dialogs_;
  std::unique_ptr<Dialogs> own_dialogs_;
  StartupResult startup_;
  std::unique_ptr<Driver> driver_;
  bool shown_once_ = false;
  bool busy_ = false;

  QFrame* panel_ = nullptr;
  QLabel* image_ = nullptr;
  QToolButton* button_go_ = nullptr;
  QStatusBar* status_bar_ = nullptr;
  QLabel* status_text_ = nullptr;
};

}  // namespace kws
