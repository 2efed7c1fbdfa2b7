#include "ui/outcome_field.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

#include "driver/diagnosis.h"
#include "driver/image_purpose.h"
#include "fileio/file.h"
#include "fileio/name_text.h"
#include "ui/eliding_label.h"
#include "ui/log_panel.h"
#include "ui/outcome_text.h"
#include "ui/window_support.h"

namespace kws {

namespace {

// Which of a picture's images is for which receiver and which way of
// updating: a line each, then the sentence on choosing between them.
std::string PurposesText(const std::string& output_folder, const std::string& picture) {
  std::string text;
  for (const OutputImage& image : OutputImages(output_folder, BaseName(picture))) {
    text.append("\n\n", text.empty() ? 2 : 1).append(ShownName(image.path)).append(": ").append(ImagePurpose(image));
  }
  return text.append("\n\n").append(kUpdateWays);
}

}  // namespace

OutcomeField::OutcomeField(QStatusBar* bar, QLabel* status_text) : bar_(bar), status_text_(status_text) {
  outcome_ = new ElidingLabel(bar_);
  outcome_->setObjectName(QStringLiteral("OutcomeText"));
  outcome_->setTextFormat(Qt::PlainText);
  outcome_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  outcome_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  bar_->addPermanentWidget(outcome_, 1);
  // The two buttons have places of their own: from a batch's start until
  // the window says something else after it, Cancel's place stays held, so
  // that Open folder, shown when the batch ends, never appears under a
  // pointer that was about to press Cancel.
  buttons_ = new QWidget(bar_);
  buttons_->setObjectName(QStringLiteral("RunButtons"));
  auto* layout = new QHBoxLayout(buttons_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  const auto small_button = [this, layout](const char* name, const char* text) {
    auto* button = new QToolButton(buttons_);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(QString::fromLatin1(text));
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFixedHeight(17);
    button->hide();
    layout->addWidget(button);
    return button;
  };
  open_folder_ = small_button("OpenFolderButton", "Open folder");
  open_folder_->setToolTip(QStringLiteral("Show the Output folder in the file manager"));
  cancel_ = small_button("CancelButton", "Cancel");
  cancel_->setToolTip(QStringLiteral("Stop the batch after the picture it is converting"));
  bar_->addPermanentWidget(buttons_);
}

void OutcomeField::Set(const std::string& text, bool open_folder) {
  HoldCancelPlace(false);
  Show(text, open_folder);
}

// While a batch runs and until the window says something else after it,
// Cancel's place stays held, hidden or not.
void OutcomeField::HoldCancelPlace(bool hold) {
  QSizePolicy policy = cancel_->sizePolicy();
  if (policy.retainSizeWhenHidden() == hold) return;
  policy.setRetainSizeWhenHidden(hold);
  cancel_->setSizePolicy(policy);
}

void OutcomeField::Show(const std::string& text, bool open_folder) {
  outcome_->setText(QString::fromStdString(text));
  outcome_->setToolTip(PlainToolTip(outcome_->text()));
  open_folder_->setVisible(open_folder);
  outcome_->update();
  Share();
}

// The status text keeps its words and its path's last part; the second
// field takes what its text needs of the rest, at most half the bar when the
// status text needs that much; each shortens its path where it has to. The
// status text's width is set, not left to the bar's layout, which would give
// the room to the second field, however little it says.
void OutcomeField::Share() {
  const int bar = bar_->width();
  const int buttons = buttons_->sizeHint().width() + 4;
  int left = bar - buttons - 16;
  if (!outcome_->text().isEmpty()) {
    const int needed = outcome_->fontMetrics().horizontalAdvance(outcome_->text()) + 16 + buttons;
    const int readable = ReadableWidth(status_text_->text(), status_text_->fontMetrics()) + 8;
    left = std::max(bar - needed, std::min(readable, bar / 2));
  }
  const int whole = status_text_->fontMetrics().horizontalAdvance(status_text_->text()) + 8;
  status_text_->setFixedWidth(std::max(0, std::min(left, whole)));
}

QString OutcomeField::Text() const { return outcome_->text(); }

void OutcomeField::ShowNothingOpened(const WorkingFolders& folders) {
  Set(NothingOpenedText(CountInputBitmaps(folders.input), folders.input));
}

void OutcomeField::RunStarting(const std::string& opened) {
  outcomes_.clear();
  images_written_.clear();
  batch_total_ = 0;
  Show(opened.empty() ? std::string("converting the bitmaps in Input") : "converting " + ShownName(opened));
}

void OutcomeField::PictureStarting(int index, int total, const std::string& picture) {
  images_written_.clear();
  batch_total_ = total;
  HoldCancelPlace(true);
  cancel_->setEnabled(true);
  cancel_->show();
  Show(ProgressText(index, total, picture));
  Share();
}

void OutcomeField::ImageWritten(const std::string& path) { images_written_.push_back(path); }

void OutcomeField::PictureDone(const PictureOutcome& outcome) {
  outcomes_.push_back({outcome, std::move(images_written_)});
  images_written_.clear();
}

void OutcomeField::Stopping() {
  cancel_->setEnabled(false);
  Show(Text().toStdString() + " \u2014 stopping after this picture");
}

void OutcomeField::RunEnded(const RunSummary& summary, const std::string& opened, const WorkingFolders& folders,
                            LogPanel& log) {
  cancel_->hide();
  std::vector<const Outcome*> failed;
  int made = 0;
  for (const Outcome& outcome : outcomes_) {
    if (outcome.result == 0) {
      ++made;
    } else {
      failed.push_back(&outcome);
    }
  }
  for (const Outcome* outcome : failed) {
    std::string note = FailedText(outcome->picture, Diagnose(outcome->picture, *outcome->failure));
    const ImagesLeft left = ImagesLeftBy(folders.output, BaseName(outcome->picture), outcome->images);
    if (const std::string text = ImagesLeftText(left); !text.empty()) note += "; " + text;
    log.AddNote(QString::fromStdString(note), LogPanel::Kind::kError);
  }
  if (!opened.empty() && outcomes_.empty() && !summary.error) {
    Show(GoneText(opened));
    return;
  }
  if (outcomes_.empty() && summary.error) {
    const std::string why = summary.run_failure ? summary.run_failure->Told() : status_text_->text().toStdString();
    Show("failed: " + PrintableName(why.rfind("ERROR: ", 0) == 0 ? why.substr(7) : why));
    ShowLogPanel(log);
    return;
  }
  if (!opened.empty()) {
    const Outcome& outcome = outcomes_.front();
    if (outcome.result == 0) {
      Show(MadeText(folders.output, HomeFolder()), true);
      outcome_->setToolTip(PlainToolTip(QStringLiteral("6 images in ") + ShownPath(folders.output) +
                                        QString::fromStdString(PurposesText(folders.output, outcome.picture))));
    } else {
      Show(FailedText(outcome.picture, Diagnose(outcome.picture, *outcome.failure)));
      ShowLogPanel(log);
    }
    return;
  }
  // A batch of the Input folder.
  const int total = std::max(batch_total_, static_cast<int>(outcomes_.size()));
  if (total == 0) {
    ShowNothingOpened(folders);
    if (summary.skipped > 0) ShowLogPanel(log);
    return;
  }
  const std::string text = BatchText(made, static_cast<int>(failed.size()), total, summary.stopped);
  Show(text, made > 0);
  // What the next click converts, counted again now.
  QString tip = outcome_->text();
  if (made > 0) tip += QStringLiteral(", in ") + ShownPath(folders.output);
  tip += QLatin1Char('\n') + QString::fromStdString(NothingOpenedText(CountInputBitmaps(folders.input), folders.input));
  outcome_->setToolTip(PlainToolTip(tip));
  if (!failed.empty() || summary.error) {
    log.AddNote(QString::fromStdString(text), LogPanel::Kind::kError);
    ShowLogPanel(log);
  }
}

}  // namespace kws
