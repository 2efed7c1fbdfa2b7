// The second status field: what a run did, its progress, or what the button
// will convert; with "Open folder" after images were made and "Cancel" while
// a batch runs. It follows the run too, picture by picture, to say at its end
// what became of each.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/startup.h"

class QLabel;
class QStatusBar;
class QToolButton;
class QWidget;

namespace kws {

class LogPanel;

class OutcomeField {
 public:
  // The field goes into bar, beside status_text, with which it shares the bar.
  OutcomeField(QStatusBar* bar, QLabel* status_text);

  // Says text, after a run is over: Cancel's place is given up.
  void Set(const std::string& text, bool open_folder = false);
  QString Text() const;
  // The status text gets what the second field does not need, but at least
  // half of the bar while the second field says something.
  void Share();
  // What the button converts when nothing is opened, counted now.
  void ShowNothingOpened(const WorkingFolders& folders);
  QToolButton* OpenFolderButton() const { return open_folder_; }
  QToolButton* CancelButton() const { return cancel_; }

  // The run, as it goes.
  void RunStarting(const std::string& opened);
  void PictureStarting(int index, int total, const std::string& picture);
  void ImageWritten(const std::string& path);
  void PictureDone(const PictureOutcome& outcome);
  void Stopping();
  // What the run ended with: here, and in the log panel what went wrong.
  void RunEnded(const RunSummary& summary, const std::string& opened, const WorkingFolders& folders, LogPanel& log);

 private:
  // Says text, as the run goes and as it ends.
  void Show(const std::string& text, bool open_folder = false);
  void HoldCancelPlace(bool hold);

  // What one picture of the run ended with.
  struct Outcome : PictureOutcome {
    std::vector<std::string> images;  // those this run wrote into Output
  };

  QStatusBar* bar_;
  QLabel* status_text_;
  QLabel* outcome_ = nullptr;
  QWidget* buttons_ = nullptr;  // Open folder and Cancel, each in its own place
  QToolButton* open_folder_ = nullptr;
  QToolButton* cancel_ = nullptr;

  std::vector<std::string> images_written_;  // by the picture being converted
  int batch_total_ = 0;
  std::vector<Outcome> outcomes_;
};

}  // namespace kws
