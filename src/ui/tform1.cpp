#include "ui/tform1.h"

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <cmath>

#include "driver/diagnosis.h"
#include "driver/single_steps.h"
#include "fileio/file.h"
#include "fileio/name_text.h"
#include "fit/bitmap_file.h"
#include "log/activity_log.h"
#include "preview/preview_loader.h"
#include "steps/step_result.h"
#include "ui/artwork.h"
#include "ui/eliding_label.h"
#include "ui/extra_actions.h"
#include "ui/log_panel.h"
#include "ui/menu_style.h"
#include "ui/outcome_field.h"
#include "ui/outcome_text.h"
#include "ui/picture_kind.h"
#include "ui/recent_menu.h"
#include "ui/tv_view.h"
#include "ui/window_fit.h"
#include "ui/window_support.h"

namespace kws {

namespace {

const QString kGoToolTip = QString::fromUtf8("Yes, I\u00B4m the one click Button! So, why don\u00B4t you hit me?");
const QString kOpenTitle = QStringLiteral("Select a Windows Bitmap (720x576, 256 col, 8 Bit)");
const char* const kStoppedByUser = "stopped by the user";

}  // namespace

TForm1::TForm1(Dialogs* dialogs, const QString& base, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
  if (!dialogs_) {
    own_dialogs_ = std::make_unique<QtDialogs>();
    dialogs_ = own_dialogs_.get();
  }
  setObjectName(QStringLiteral("Form1"));
  extras_ = std::make_unique<ExtraActions>(*this);
  BuildClientArea();
  BuildMenu();
  FormCreate(base);
}

TForm1::~TForm1() {
  // Closing hides the panel too: nothing to fit any more.
  disconnect(log_panel_, nullptr, this, nullptr);
  log_listener_.reset();
  SetLogFailureHandler(nullptr);
  if (busy_) QApplication::restoreOverrideCursor();
}

void TForm1::BuildMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  QAction* open = file->addAction(QStringLiteral("&Open"), this, &TForm1::Open1Click);
  open->setObjectName(QStringLiteral("Open1"));
  open->setShortcut(QKeySequence::Open);
  QMenu* recent = file->addMenu(QStringLiteral("Open &Recent"));
  recent->setObjectName(QStringLiteral("OpenRecent1"));
  recent_ = std::make_unique<RecentMenu>(
      recent, [this] { return button_go_->isEnabled(); }, [this](const QString& path) { OpenPicture(path); });
  QAction* import = file->addAction(QString::fromUtf8("&Import picture\u2026"), this, &TForm1::Import1Click);
  import->setObjectName(QStringLiteral("Import1"));
  file->addSeparator();
  QAction* check = file->addAction(QString::fromUtf8("&Check update image\u2026"), this, &TForm1::CheckImage1Click);
  check->setObjectName(QStringLiteral("CheckImage1"));
  QAction* extract = file->addAction(QString::fromUtf8("Extract &picture from update image\u2026"), this,
                                     &TForm1::ExtractPicture1Click);
  extract->setObjectName(QStringLiteral("ExtractPicture1"));
  file->addSeparator();
  QAction* output =
      file->addAction(QStringLiteral("Open O&utput folder"), this, [this] { OpenFolder(startup_.folders.output); });
  output->setObjectName(QStringLiteral("OpenOutput1"));
  QAction* input =
      file->addAction(QStringLiteral("Open I&nput folder"), this, [this] { OpenFolder(startup_.folders.input); });
  input->setObjectName(QStringLiteral("OpenInput1"));
  file->addSeparator();
  QAction* close_picture = file->addAction(QStringLiteral("C&lose picture"), this, &TForm1::ClosePicture1Click);
  close_picture->setObjectName(QStringLiteral("ClosePicture1"));
  close_picture->setShortcut(QKeySequence::Close);
  file->addSeparator();
  QAction* exit = file->addAction(QStringLiteral("E&xit"), this, &TForm1::Exit1Click);
  exit->setObjectName(QStringLiteral("Exit1"));
  exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  picture_actions_ = {open, import, close_picture};

  QMenu* actions = menuBar()->addMenu(QStringLiteral("&Actions"));
  actions->setObjectName(QStringLiteral("Actions1"));
  make_images_ = actions->addAction(QStringLiteral("&Make update images"), this, &TForm1::ButtonGoClick);
  make_images_->setObjectName(QStringLiteral("MakeImages1"));
  make_images_->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return)});

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("View1"));
  QAction* log = log_panel_->toggleViewAction();
  log->setText(QStringLiteral("&Activity log"));
  log->setObjectName(QStringLiteral("ActivityLog1"));
  view->addAction(log);
  view->addSeparator();
  tv_view_->BuildMenu(view);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("Help1"));
  QAction* test_card = help->addAction(QStringLiteral("Open TV &test card"), this, &TForm1::TestCard1Click);
  test_card->setObjectName(QStringLiteral("TestCard1"));
  picture_actions_.push_back(test_card);
  help->addSeparator();
  QAction* about = help->addAction(QString::fromUtf8("&About Kestro Welcome Screen\u2026"), this, &TForm1::About1Click);
  about->setObjectName(QStringLiteral("About1"));
}

void TForm1::BuildClientArea() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  setCentralWidget(client);

  panel_ = new QFrame(client);
  panel_->setObjectName(QStringLiteral("Panel1"));
  panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel_->setLineWidth(2);
  no_picture_ = new QLabel(QStringLiteral("no picture"), panel_);
  no_picture_->setTextFormat(Qt::PlainText);
  no_picture_->setAlignment(Qt::AlignCenter);

  image_ = new QLabel(panel_);
  image_->setObjectName(QStringLiteral("Image1"));
  tv_view_ = std::make_unique<TvView>(image_);
  tv_view_->ShowSample();

  button_go_ = new QToolButton(client);
  button_go_->setObjectName(QStringLiteral("ButtonGo"));
  button_go_->setIcon(GoIcon());
  button_go_->setIconSize(QSize(140, 140));
  button_go_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button_go_->setToolTip(kGoToolTip);
  button_go_->setAutoRaise(false);
  connect(button_go_, &QToolButton::clicked, this, &TForm1::ButtonGoClick);

  BuildStepButtons(client);

  status_bar_ = new QStatusBar(client);
  status_bar_->setObjectName(QStringLiteral("StatusBar1"));
  status_bar_->setSizeGripEnabled(false);
  status_text_ = new ElidingLabel(status_bar_);
  status_text_->setObjectName(QStringLiteral("StatusText"));
  // Names are shown as they are, never taken for markup.
  status_text_->setTextFormat(Qt::PlainText);
  // As wide as its text, the second field taking the rest.
  status_text_->setMinimumWidth(1);
  status_bar_->addWidget(status_text_);
  outcome_ = std::make_unique<OutcomeField>(status_bar_, status_text_);
  connect(outcome_->OpenFolderButton(), &QToolButton::clicked, this, [this] { OpenFolder(startup_.folders.output); });
  connect(outcome_->CancelButton(), &QToolButton::clicked, this, &TForm1::CancelClick);
  LayOut(1.0);

  log_panel_ = new LogPanel(this);
  addDockWidget(Qt::BottomDockWidgetArea, log_panel_);
  log_panel_->hide();
  connect(log_panel_, &LogPanel::openLogFileRequested, this,
          [this] { dialogs_->OpenUrl(QUrl::fromLocalFile(ShownPath(startup_.folders.log_file))); });
  // The window grows by the panel when it opens, and the preview shrinks
  // when both would not fit the screen.
  connect(log_panel_, &QDockWidget::visibilityChanged, this, [this] {
    if (shown_once_) FitToScreen();
  });
  new FrameKnownWatch(this, [this] { FitToScreen(); });

  setAcceptDrops(true);
  setWindowIcon(QIcon(ProgramIconPixmap(48)));
}

// One step each, on fixed files in the Output folder; hidden at creation.
void TForm1::BuildStepButtons(QWidget* client) {
  // Where each button sits in the fixed layout, beside the preview.
  constexpr std::array<int, 7> kTops = {8, 36, 64, 92, 120, 152, 184};
  static_assert(kTops.size() == std::tuple_size_v<std::decay_t<decltype(SingleSteps())>>);
  for (size_t i = 0; i < kTops.size(); ++i) {
    const SingleStep& step = SingleSteps()[i];
    auto* button = new QPushButton(QString::fromLatin1(step.caption), client);
    button->setObjectName(QString::fromLatin1(step.name));
    button->setProperty("top", kTops[i]);
    button->setFocusPolicy(Qt::NoFocus);
    button->hide();
    connect(button, &QPushButton::clicked, this,
            [this, &step] { step.run(driver_->OpenedPicture(), startup_.folders.output); });
    step_buttons_.push_back(button);
  }
}

// The fixed layout at scale 1. Scaled, only the preview shrinks (keeping
// its proportions); the button, the step buttons and the status bar keep
// their sizes and their places beside and below it.
void TForm1::LayOut(double scale) {
  const int width = static_cast<int>(std::lround(kPreviewWidth * scale));
  const int height = static_cast<int>(std::lround(kPreviewHeight * scale));
  centralWidget()->setFixedSize(width + kBesidePreview, height + kBelowPreview);
  panel_->setGeometry(0, 0, width + 12, height + 12);
  no_picture_->setGeometry(panel_->rect());
  image_->setGeometry(4, 4, width, height);
  tv_view_->SetScale(scale);
  button_go_->setGeometry(width + 20, height - 136, 145, 145);
  for (QPushButton* button : step_buttons_) button->setGeometry(width + 24, button->property("top").toInt(), 145, 25);
  status_bar_->setGeometry(0, height + 14, width + kBesidePreview, 19);
  outcome_->Share();
}

void TForm1::FitToScreen() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect available = screen->availableGeometry();
  // The window's frame, as the window manager draws it; until it is known
  // (before the window shows, or before the window manager has said), what a
  // usual title bar and border take.
  QSize frame = frameGeometry().size() - geometry().size();
  const bool guessed = !isVisible() || frame.height() <= 0;
  if (guessed) frame = QSize(8, 36);
  const int menu = menuBar()->sizeHint().height();
  const int panel = log_panel_->isVisible() ? log_panel_->sizeHint().height() : 0;
  LayOut(PreviewScale(available, {frame, menu, panel}));
  const QSize size(centralWidget()->width(), centralWidget()->height() + menu + panel);
  setFixedSize(size);
  const QRect placed = KeepOnScreen(QRect(frameGeometry().topLeft(), size + frame), available);
  if (placed.topLeft() == frameGeometry().topLeft()) return;
  // Until the frame is known, a move places the client area: it goes where
  // the guessed frame leaves it room, and FrameKnownWatch places the window
  // again once the window manager has said.
  const QPoint client(frame.width() / 2, frame.height() - frame.width() / 2);
  move(placed.topLeft() + (guessed ? client : QPoint()));
}

// Start-up: menu styling, hidden step buttons (done while building), folders, log, caption.
void TForm1::FormCreate(const QString& base) {
  StyleMenuBar(menuBar());
  // A log that cannot be written is said once, instead of a status line that
  // sends the user to a log with nothing in it.
  SetLogFailureHandler([this](const std::string& why) { ShowMessage(why); });
  // The log panel follows the log as it is written, from the first entry.
  log_listener_.emplace([this](std::string_view message, std::string_view note) {
    OnLogMessage(std::string(message), std::string(note));
  });
  startup_ = base.isEmpty() ? StartUpDefault() : StartUp(LocalName(base));
  driver_ = std::make_unique<Driver>(*this, startup_.folders);
  setWindowTitle(QString::fromStdString(startup_.caption));
  FitToScreen();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    QPoint top_left = available.center() - QPoint(width() / 2, height() / 2);
    top_left.setY(std::max(top_left.y(), available.top()));
    top_left.setX(std::max(top_left.x(), available.left()));
    move(top_left);
  }
  recent_->Update();
  if (!startup_.error.empty()) ShowMessage(startup_.error);
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_once_) {
    shown_once_ = true;
    FormShow();
  }
}

void TForm1::FormShow() {
  SetStatus(driver_->OpenedPicture());
  if (driver_->OpenedPicture().empty()) outcome_->ShowNothingOpened(startup_.folders);
  // The frame is known now; a screen too small for it shrinks the preview.
  FitToScreen();
}

// The log panel shows the entry as the log holds it, and the system's reason
// (which the log leaves out) as the panel's own note below it; the outcome
// field is told the reason too.
void TForm1::OnLogMessage(const std::string& message, const std::string& note) {
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, message, note] { OnLogMessage(message, note); }, Qt::QueuedConnection);
    return;
  }
  if (!log_panel_) return;
  log_panel_->AddEntry(QString::fromStdString(LogTimestamp().substr(11)), QString::fromStdString(message));
  if (!note.empty()) {
    log_panel_->AddNote(QStringLiteral("why: ") + QString::fromStdString(note),
                        LogPanel::KindOfMessage(QString::fromStdString(message)));
  }
}

std::optional<QString> TForm1::AskOpen(const char* key, const QString& title, const QString& filter,
                                       const QString& suffix) {
  const QString setting = QStringLiteral("folders/") + QString::fromLatin1(key);
  const QString folder = Settings()->value(setting).toString();
  auto chosen = dialogs_->GetOpenFileName(this, title, filter, suffix, folder);
  if (chosen) Settings()->setValue(setting, QFileInfo(*chosen).absolutePath());
  return chosen;
}

QStringList TForm1::RecentFiles() const { return recent_->Files(); }

void TForm1::OpenFolder(const std::string& folder) { dialogs_->OpenUrl(QUrl::fromLocalFile(ShownPath(folder))); }

// A picture the pipeline does not take opens as ever (its choice stands, the
// log says why it cannot be shown), and the import's dialog is offered for
// it, the bitmap to go beside it.
void TForm1::Open1Click() {
  const auto chosen = AskOpen("open", kOpenTitle, OpenFilter(), QStringLiteral("bmp"));
  if (!chosen) return;
  OpenPicture(*chosen);
  if (KindOfPicture(LocalName(*chosen)) == PictureKind::kImportable) {
    extras_->ImportWithOptions(*chosen, ExtraActions::ImportTo::kBeside);
  }
}

void TForm1::OpenPicture(const QString& path) { OpenPictureFile(LocalName(path)); }

void TForm1::OpenPictureFile(const std::string& name) {
  // The choice stands even when the file cannot be shown: a later run then
  // reports what is wrong with it.
  driver_->SetOpenedPicture(name);
  recent_->Add(ShownPath(name));
  if (const std::string error = ShowPicture(name); !error.empty()) {
    const StepFailure failure{.operation = "OpenFile",
                              .code = kStepFailed,
                              .cause = FailureCause::kNotShown,
                              .text = error,
                              .line = "ERROR: OpenFile(), Msg=" + error};
    LogStepFailure(failure);
    outcome_->Set(FileExists(name) ? CannotShowText(name, Diagnose(name, failure).plain) : GoneText(name));
    return;
  }
  SetStatus(name);
  outcome_->Set({});
}

void TForm1::ClosePicture1Click() {
  driver_->SetOpenedPicture({});
  tv_view_->ShowSample();
  SetStatus({});
  outcome_->ShowNothingOpened(startup_.folders);
}

// Any other picture goes through the import's dialog, filled in with the
// options last chosen; what is no picture at all is refused with the reason.
void TForm1::OpenFromCommandLine(const QString& path) {
  switch (KindOfPicture(LocalName(path))) {
    case PictureKind::kPipelineBitmap:
      OpenPicture(path);
      return;
    case PictureKind::kImportable:
      ImportWithOptions(path);
      return;
    case PictureKind::kNoPicture:
      ImportPicture(path);
      return;
  }
}

void TForm1::Import1Click() { extras_->Import1Click(); }
void TForm1::CheckImage1Click() { extras_->CheckImage1Click(); }
void TForm1::ExtractPicture1Click() { extras_->ExtractPicture1Click(); }
void TForm1::TestCard1Click() { extras_->TestCard1Click(); }
void TForm1::About1Click() { extras_->About1Click(); }
void TForm1::ImportPicture(const QString& path) { extras_->ImportPicture(path); }
void TForm1::ImportPicture(const QString& path, const ImportOptions& options) { extras_->ImportPicture(path, options); }
void TForm1::ImportWithOptions(const QString& path) { extras_->ImportWithOptions(path); }
ImportOptions TForm1::RememberedImportOptions() const { return extras_->RememberedImportOptions(); }

void TForm1::Exit1Click() { close(); }

void TForm1::ButtonGoClick() {
  // F5 or Ctrl+Return while a run goes on: the run's own events come first.
  if (running_ || !button_go_->isEnabled()) return;
  running_ = true;
  cancel_requested_ = false;
  const std::string opened = driver_->OpenedPicture();
  outcome_->RunStarting(opened);
  const RunSummary summary = driver_->RunOneClick();
  running_ = false;
  // A batch stopped early did not run out of files: the status line says
  // what did end it, beside the second field's count.
  if (!summary.stopped.empty()) SetStatus(summary.stopped + "! see log for details...");
  outcome_->RunEnded(summary, opened, startup_.folders, *log_panel_);
}

void TForm1::CancelClick() {
  if (!running_) return;
  cancel_requested_ = true;
  outcome_->Stopping();
}

std::string TForm1::StopRequested() { return cancel_requested_ ? kStoppedByUser : std::string(); }

void TForm1::PictureStarting(int index, int total, const std::string& picture) {
  outcome_->PictureStarting(index, total, picture);
}

void TForm1::ImageWritten(const std::string& path, std::span<const uint8_t> /*bytes*/) { outcome_->ImageWritten(path); }

void TForm1::PictureDone(const PictureOutcome& outcome) { outcome_->PictureDone(outcome); }

std::string TForm1::ShowPicture(const std::string& path) {
  std::string error;
  const QImage loaded = LoadPreviewImage(path, &error);
  if (loaded.isNull()) return error;
  // Qt decides whether the file is a picture at all; what the preview shows
  // of a bitmap the images are made of is convbmp's reading, which is what
  // they will hold even where Qt's reading differs (a pixel offset past the
  // end of the file shows Qt nothing but one colour).
  std::optional<Picture8> picture = ReadConvertibleBitmap(path);
  const QImage shown = picture ? PictureImage(*picture) : loaded;
  tv_view_->Show(shown, std::move(picture));
  return {};
}

void TForm1::SetStatus(const std::string& text) {
  status_text_->setText(QString::fromStdString(PrintableName(text)));
  status_text_->setToolTip(PlainToolTip(status_text_->text()));
  if (outcome_) outcome_->Share();
}

void TForm1::ProcessEvents() { QCoreApplication::processEvents(); }

void TForm1::SetGoEnabled(bool enabled) {
  button_go_->setEnabled(enabled);
  make_images_->setEnabled(enabled);
  // While a run goes on, the picture it converts stays the opened one.
  for (QAction* action : picture_actions_) action->setEnabled(enabled);
  recent_->SetEnabled(enabled);
}

void TForm1::SetBusyCursor(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void TForm1::ShowMessage(const std::string& text) {
  dialogs_->ShowMessage(this, windowTitle(), QString::fromStdString(text));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  const auto urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.first().isLocalFile() && button_go_->isEnabled()) event->acceptProposedAction();
}

// A bitmap the receivers take opens as it is; any other picture goes
// through the import's dialog.
void TForm1::dropEvent(QDropEvent* event) {
  const auto urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.first().isLocalFile() || !button_go_->isEnabled()) return;
  event->acceptProposedAction();
  const QString path = urls.first().toLocalFile();
  if (ReadConvertibleBitmap(LocalName(path))) {
    OpenPicture(path);
  } else {
    // After the drop has ended: the dialog is modal.
    QTimer::singleShot(0, this, [this, path] { ImportWithOptions(path); });
  }
}

}  // namespace kws
