#include "ui/import_dialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <initializer_list>
#include <utility>

#include "fileio/file.h"
#include "fileio/name_text.h"
#include "picture/svg_drawing.h"
#include "picture/tv_preview.h"
#include "ui/artwork.h"

namespace kws {

namespace {

// Room for a 16:9 TV's picture at half its width, and a 4:3 one's; three
// quarters of that where the screen is low (a 1366 x 768 laptop, scaled),
// so that the dialog stays on it.
QSize PreviewBox(const QWidget* parent) {
  const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
  const bool low = screen && screen->availableGeometry().height() < 800;
  return low ? QSize(388, 292) : QSize(516, 388);
}

ImportDialog::Preview MakePreview(const std::string& picture, const ImportOptions& options) {
  try {
    ImportedPicture imported = ImportPicture(picture, options);
    QImage image = PictureImage(imported.picture);
    QString text = QString::fromStdString(DescribeReport(imported.report));
    return {std::move(image), std::move(text), std::move(imported)};
  } catch (const std::exception& e) {
    return {QImage(), QString::fromStdString(e.what()), std::nullopt};
  }
}

QImage MakeApproximation(const std::string& picture, const ImportOptions& options) {
  try {
    return PlacedPicture(picture, options).convertToFormat(QImage::Format_RGB32);
  } catch (const std::exception&) {
    return {};  // the import says why
  }
}

QString DisplayText(Display display) {
  switch (display) {
    case Display::k4x3:
      return QStringLiteral("as a 4:3 TV shows it");
    case Display::k16x9:
      return QStringLiteral("as a 16:9 TV shows it");
    case Display::kSquare:
      break;
  }
  return QStringLiteral("in square pixels");
}

QString HexColour(Rgb c) { return QColor(c.r, c.g, c.b).name(); }

// Lines of a report the dialog shows whole: picture, display, colours, size,
// the fit and its smoothing, PSNR, as seen, and one warning.
constexpr int kReportLines = 9;

// The report arrives a moment after the dialog shows, and again with every
// change of the options. Its room is held from the start, as high as a
// report's lines and as wide as the dialog already is; a longer or wider
// report scrolls inside it, so that its arrival never moves Import and
// Cancel under the pointer.
QScrollArea* ReportRoom(QLabel* report, QWidget* parent) {
  auto* room = new QScrollArea(parent);
  room->setObjectName(QStringLiteral("ImportInfoRoom"));
  room->setFrameShape(QFrame::NoFrame);
  room->setWidgetResizable(true);
  room->setWidget(report);
  room->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  const int scroll_bar = room->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, room);
  room->setFixedHeight(report->fontMetrics().lineSpacing() * kReportLines + scroll_bar);
  return room;
}

// The caption under the preview changes with every step of an import: one
// line, as wide as the preview, whatever it says.
void HoldCaptionRoom(QLabel* caption) {
  caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  caption->setFixedHeight(caption->fontMetrics().lineSpacing());
}

template <class T>
void Choose(QComboBox* box, T value) {
  box->setCurrentIndex(box->findData(static_cast<int>(value)));
}

// A drop-down list of an option's values, the current one chosen.
template <class T>
QComboBox* ChoiceBox(QWidget* parent, const char* name, std::initializer_list<std::pair<T, const char*>> choices,
                     T current) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  for (const auto& [value, text] : choices) box->addItem(QString::fromUtf8(text), static_cast<int>(value));
  Choose(box, current);
  return box;
}

}  // namespace

ImportDialog::ImportDialog(const QString& picture, const ImportOptions& options, QWidget* parent)
    : QDialog(parent), picture_(picture), options_(options) {
  setObjectName(QStringLiteral("ImportDialog"));
  setWindowTitle(QStringLiteral("Import picture"));
  auto* layout = new QVBoxLayout(this);
  // Never smaller than its parts: the preview is not squeezed.
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  auto* name = new QLabel(picture, this);
  name->setTextFormat(Qt::PlainText);
  name->setWordWrap(true);
  layout->addWidget(name);

  auto* row = new QHBoxLayout;
  auto* placing = new QGroupBox(QStringLiteral("Placing"), this);
  auto* placing_layout = new QVBoxLayout(placing);
  fit_ = new QRadioButton(QStringLiteral("&Fit: the whole picture, the background around it"), placing);
  fit_->setObjectName(QStringLiteral("FitButton"));
  fill_ = new QRadioButton(QStringLiteral("F&ill: cover the screen, cropping what is over"), placing);
  fill_->setObjectName(QStringLiteral("FillButton"));
  (options_.fill ? fill_ : fit_)->setChecked(true);
  placing_layout->addWidget(fit_);
  placing_layout->addWidget(fill_);
  auto* colour_row = new QHBoxLayout;
  colour_row->addWidget(new QLabel(QStringLiteral("Background:"), placing));
  colour_ = new QToolButton(placing);
  colour_->setObjectName(QStringLiteral("BackgroundButton"));
  colour_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  colour_->setToolTip(QStringLiteral("Choose the colour around a picture that does not fill the screen"));
  colour_row->addWidget(colour_);
  colour_row->addStretch(1);
  placing_layout->addLayout(colour_row);
  auto* dither_row = new QHBoxLayout;
  auto* dither_label = new QLabel(QStringLiteral("&Dithering:"), placing);
  dither_ = ChoiceBox<DitherKind>(placing, "DitherBox",
                                  {{DitherKind::kAuto, "Auto: closest as seen, plain PSNR kept"},
                                   {DitherKind::kSeen, "Seen: closest as seen, however grainy"},
                                   {DitherKind::kSelective, "Selective: only where smooth"},
                                   {DitherKind::kNone, "None"}},
                                  options_.dither);
  dither_->setToolTip(
      QStringLiteral("Auto takes the version closest to the picture as a TV shows it that is at least as close, "
                     "sample for sample, as the best selectively dithered one; Seen takes the closest as seen even "
                     "where full dithering leaves grain on smooth areas"));
  dither_label->setBuddy(dither_);
  dither_row->addWidget(dither_label);
  dither_row->addWidget(dither_);
  dither_row->addStretch(1);
  placing_layout->addLayout(dither_row);
  placing_layout->addStretch(1);
  auto* options_column = new QVBoxLayout;
  options_column->addWidget(placing);
  options_column->addWidget(BuildTvGroup());
  row->addLayout(options_column);

  preview_ = new QLabel(this);
  preview_->setObjectName(QStringLiteral("ImportPreview"));
  preview_->setFixedSize(PreviewBox(parent));
  preview_->setAlignment(Qt::AlignCenter);
  preview_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  preview_caption_ = new QLabel(this);
  preview_caption_->setObjectName(QStringLiteral("ImportPreviewCaption"));
  preview_caption_->setTextFormat(Qt::PlainText);
  preview_caption_->setAlignment(Qt::AlignCenter);
  HoldCaptionRoom(preview_caption_);
  auto* preview_column = new QVBoxLayout;
  preview_column->addWidget(preview_);
  preview_column->addWidget(preview_caption_);
  row->addLayout(preview_column);
  layout->addLayout(row);

  info_ = new QLabel(this);
  info_->setObjectName(QStringLiteral("ImportInfo"));
  info_->setTextFormat(Qt::PlainText);
  // The report's lines are aligned in columns.
  info_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // Unwrapped: a wrapped line would break the columns.
  info_->setWordWrap(false);
  info_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(ReportRoom(info_, this));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setText(QStringLiteral("Import"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  connect(fill_, &QRadioButton::toggled, this, [this](bool fill) { SetFill(fill); });
  connect(dither_, &QComboBox::currentIndexChanged, this,
          [this] { SetDither(static_cast<DitherKind>(dither_->currentData().toInt())); });
  connect(colour_, &QToolButton::clicked, this, [this] {
    const QColor chosen =
        QColorDialog::getColor(QColor(options_.background.r, options_.background.g, options_.background.b), this,
                               QStringLiteral("Background colour"));
    if (chosen.isValid()) {
      SetBackground({static_cast<uint8_t>(chosen.red()), static_cast<uint8_t>(chosen.green()),
                     static_cast<uint8_t>(chosen.blue())});
    }
  });
  connect(&watcher_, &QFutureWatcher<Preview>::finished, this, &ImportDialog::Finished);
  connect(&approximation_, &QFutureWatcher<QImage>::finished, this, &ImportDialog::ShowApproximation);
  ShowColour();
  Recompute();
}

ImportDialog::~ImportDialog() {
  // The import in the background ends on its own; its result is not wanted,
  // and a drawing it waits for is ended now rather than at its limits.
  disconnect(&watcher_, nullptr, this, nullptr);
  disconnect(&approximation_, nullptr, this, nullptr);
  if (importing_) CancelSvgDrawings();
}

// Which TV the picture is for, and the part of its frame it keeps to.
QWidget* ImportDialog::BuildTvGroup() {
  auto* tv = new QGroupBox(QStringLiteral("TV"), this);
  auto* layout = new QFormLayout(tv);
  display_ = ChoiceBox<Display>(
      tv, "DisplayBox", {{Display::k4x3, "4:3 TV"}, {Display::k16x9, "16:9 TV"}, {Display::kSquare, "Square pixels"}},
      options_.display);
  display_->setToolTip(QStringLiteral("The TV the picture is for: it keeps its shape there"));
  layout->addRow(QStringLiteral("&Display:"), display_);
  safe_ = ChoiceBox<SafeArea>(
      tv, "SafeAreaBox",
      {{SafeArea::kNone, "None"}, {SafeArea::kAction, "Action-safe"}, {SafeArea::kTitle, "Title-safe"}}, options_.safe);
  safe_->setToolTip(
      QStringLiteral("Keep the picture inside the middle 90 % every TV shows (action-safe) or the middle 80 % where "
                     "text is safe (title-safe)"));
  layout->addRow(QStringLiteral("&Safe area:"), safe_);
  caption_ = new QLineEdit(options_.caption ? QString::fromStdString(options_.caption->text) : QString(), tv);
  caption_->setObjectName(QStringLiteral("CaptionEdit"));
  caption_->setToolTip(QStringLiteral("A line of text on the picture, inside the title-safe area"));
  layout->addRow(QStringLiteral("&Caption:"), caption_);
  caption_band_ = new QCheckBox(QStringLiteral("On a &band below the picture"), tv);
  caption_band_->setObjectName(QStringLiteral("CaptionBandBox"));
  caption_band_->setChecked(options_.caption && options_.caption->band);
  layout->addRow(QString(), caption_band_);
  connect(display_, &QComboBox::currentIndexChanged, this,
          [this] { SetDisplay(static_cast<Display>(display_->currentData().toInt())); });
  connect(safe_, &QComboBox::currentIndexChanged, this,
          [this] { SetSafeArea(static_cast<SafeArea>(safe_->currentData().toInt())); });
  connect(caption_, &QLineEdit::textChanged, this,
          [this] { SetCaption(caption_->text(), caption_band_->isChecked()); });
  connect(caption_band_, &QCheckBox::toggled, this,
          [this] { SetCaption(caption_->text(), caption_band_->isChecked()); });
  return tv;
}

void ImportDialog::SetFill(bool fill) {
  if (fill == options_.fill) return;
  options_.fill = fill;
  (fill ? fill_ : fit_)->setChecked(true);
  Recompute();
}

void ImportDialog::SetBackground(Rgb colour) {
  if (colour == options_.background) return;
  options_.background = colour;
  ShowColour();
  Recompute();
}

void ImportDialog::SetDisplay(Display display) {
  if (display == options_.display) return;
  options_.display = display;
  Choose(display_, display);
  Recompute();
}

void ImportDialog::SetSafeArea(SafeArea safe) {
  if (safe == options_.safe) return;
  options_.safe = safe;
  Choose(safe_, safe);
  Recompute();
}

void ImportDialog::SetDither(DitherKind kind) {
  if (kind == options_.dither) return;
  options_.dither = kind;
  Choose(dither_, kind);
  Recompute();
}

void ImportDialog::SetCaption(const QString& text, bool band) {
  std::optional<Caption> caption;
  if (!text.trimmed().isEmpty()) caption = Caption{.text = text.toStdString(), .band = band};
  if (caption.has_value() == options_.caption.has_value() &&
      (!caption || (caption->text == options_.caption->text && caption->band == options_.caption->band))) {
    return;
  }
  options_.caption = caption;
  {
    const QSignalBlocker quiet_text(caption_), quiet_band(caption_band_);
    if (caption_->text() != text) caption_->setText(text);
    caption_band_->setChecked(band);
  }
  Recompute();
}

void ImportDialog::ShowColour() {
  QPixmap swatch(16, 16);
  swatch.fill(QColor(options_.background.r, options_.background.g, options_.background.b));
  QPainter(&swatch).drawRect(0, 0, 15, 15);
  colour_->setIcon(QIcon(swatch));
  colour_->setText(HexColour(options_.background) + QStringLiteral("\u2026"));
}

QString ImportDialog::Info() const { return info_->text(); }

void ImportDialog::Recompute() {
  if (importing_) {
    // One import at a time: the newest options follow when this one ends.
    pending_ = true;
    return;
  }
  pending_ = false;
  importing_ = true;
  info_->setText(QStringLiteral("Importing\u2026"));
  // Until this import ends, what is shown is not what Import would write.
  result_.reset();
  preview_caption_->setText(tv_image_.isNull() ? QStringLiteral("Importing\u2026")
                                               : QStringLiteral("Approximation: the earlier choice, importing\u2026"));
  const std::string name = NameFromUtf16(picture_.toStdU16String());
  watcher_.setFuture(QtConcurrent::run(MakePreview, name, options_));
  approximation_.setFuture(QtConcurrent::run(MakeApproximation, name, options_));
}

void ImportDialog::Finished() {
  importing_ = false;
  if (pending_) {
    Recompute();
    return;
  }
  Preview preview = watcher_.result();
  result_image_ = preview.image;
  result_ = std::move(preview.imported);
  // Nothing to import with these options.
  ok_->setEnabled(result_.has_value());
  ShowResult();
  // A report's columns stay unwrapped; why nothing can be imported is read
  // as a sentence, wrapped within the report's room.
  info_->setWordWrap(!result_);
  info_->setText(preview.text.trimmed());
}

// The bitmap as the chosen TV shows it, by the same drawing as the window's
// TV views, the safe areas marked.
void ImportDialog::ShowResult() {
  if (!result_) {
    tv_image_ = QImage();
    preview_->setPixmap(QPixmap());
    preview_->setText(QStringLiteral("cannot import"));
    preview_caption_->clear();
    return;
  }
  ShowTv(Picture8Image(result_->picture));
  preview_caption_->setText(QStringLiteral("The bitmap Import writes, ") + DisplayText(options_.display));
}

// Only while the import of the same options still runs.
void ImportDialog::ShowApproximation() {
  const QImage placed = approximation_.result();
  if (!importing_ || pending_ || placed.isNull()) return;
  ShowTv(placed);
  preview_caption_->setText(QStringLiteral("Approximation, colours not yet reduced: importing\u2026"));
}

void ImportDialog::ShowTv(const QImage& frame) {
  TvPreviewOptions tv;
  tv.display = options_.display;
  tv.guides = true;
  tv_image_ = RenderTvPreview(frame, tv);
  preview_->setPixmap(QPixmap::fromImage(
      tv_image_.scaled(preview_->size() - QSize(4, 4), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

QImage ImportDialog::ShownPreview() const { return preview_->pixmap().toImage(); }

QString ImportDialog::PreviewCaption() const { return preview_caption_->text(); }

ImportChoice ImportDialog::Choice() const { return {options_, importing_ ? std::nullopt : result_}; }

}  // namespace kws
