// File > Import picture...'s options, with a live preview of the result as
// the chosen TV shows it, safe areas marked:
// fit or fill, the background colour, the dithering, the TV it is for and the
// safe area it keeps to, and what the import makes of the picture (its size against the
// budget, its PSNR, the TV's warnings). The import runs in the
// background, so the dialog answers while it works; nothing is written here.
#pragma once

#include <QDialog>
#include <QFutureWatcher>
#include <QImage>
#include <QString>
#include <optional>

#include "picture/import_picture.h"
#include "ui/dialogs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace kws {

class ImportDialog : public QDialog {
  Q_OBJECT

 public:
  ImportDialog(const QString& picture, const ImportOptions& options, QWidget* parent = nullptr);
  ~ImportDialog() override;

  ImportOptions Options() const { return options_; }
  void SetFill(bool fill);
  void SetBackground(Rgb colour);
  void SetDisplay(Display display);
  void SetSafeArea(SafeArea safe);
  void SetDither(DitherKind kind);
  // A caption drawn on the picture (none when empty), across it or on a
  // band below it.
  void SetCaption(const QString& text, bool band);
  // The preview is of the options as they are now (no import running).
  bool PreviewCurrent() const { return !importing_; }
  QString Info() const;
  QImage PreviewImage() const { return result_image_; }
  // The result as the chosen TV shows it, full size, and as the preview
  // shows it; while an import runs, the earlier result, marked as such.
  QImage TvPreviewImage() const { return tv_image_; }
  QImage ShownPreview() const;
  QString PreviewCaption() const;
  // The options, and the picture the preview shows when it is of them: what
  // Import then writes, as it was shown.
  ImportChoice Choice() const;

  // What one import in the background made.
  struct Preview {
    QImage image;  // the 720 x 576 result; null when the import failed
    QString text;  // its report, or why it failed
    std::optional<ImportedPicture> imported;
  };

 private:
  QWidget* BuildTvGroup();
  void Recompute();
  void Finished();
  void ShowColour();
  void ShowResult();
  void ShowApproximation();
  // The bitmap, or the approximation, as the chosen TV shows it.
  void ShowTv(const QImage& frame);

  QString picture_;
  ImportOptions options_;
  bool importing_ = false;  // until the newest options' result is shown
  bool pending_ = false;    // the options changed while an import ran
  QFutureWatcher<Preview> watcher_;
  // The picture placed, its colours not reduced yet: shown while the import
  // of the same options runs.
  QFutureWatcher<QImage> approximation_;
  QImage result_image_;
  std::optional<ImportedPicture> result_;
  QImage tv_image_;

  QRadioButton* fit_ = nullptr;
  QRadioButton* fill_ = nullptr;
  QToolButton* colour_ = nullptr;
  QComboBox* display_ = nullptr;
  QComboBox* safe_ = nullptr;
  QComboBox* dither_ = nullptr;
  QLineEdit* caption_ = nullptr;
  QCheckBox* caption_band_ = nullptr;
  QLabel* preview_ = nullptr;
  QLabel* preview_caption_ = nullptr;
  QLabel* info_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace kws
