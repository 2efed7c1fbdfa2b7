#include "ui/tform1.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <functional>

#include "fileio/file.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "picture/import_picture.h"
#include "preview/preview_loader.h"
#include "steps/bitmap8.h"
#include "steps/steps.h"
#include "ui/artwork.h"
#include "ui/menu_style.h"

namespace kws {

namespace {

const QString kGoToolTip = QString::fromUtf8("Yes, I\u00B4m the one click Button! So, why don\u00B4t you hit me?");
const QString kOpenTitle = QStringLiteral("Select a Windows Bitmap (720x576, 256 col, 8 Bit)");
const QString kOpenFilter = QStringLiteral("Windows Bitmap (*.bmp)");
const QString kCheckTitle = QStringLiteral("Check update image");
const QString kCheckFilter = QStringLiteral("Update images (*.img);;All files (*)");

const QString kImportTitle = QStringLiteral("Select a picture to import (any format, size and colours)");

// Every format Qt's image readers take, then anything at all: the reader
// goes by the content, not the name.
QString ImportFilter() {
  QStringList patterns;
  for (const QByteArray& format : QImageReader::supportedImageFormats()) {
    patterns << QStringLiteral("*.") + QString::fromLatin1(format);
  }
  return QStringLiteral("Pictures (") + patterns.join(QLatin1Char(' ')) + QStringLiteral(");;All files (*)");
}

bool IsBitmapPath(const QString& path) { return path.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive); }

// A file name from a dialog or a drop as the bytes the file system knows.
std::string LocalName(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

TForm1::TForm1(Dialogs* dialogs, const QString& base, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
  if (!dialogs_) {
    own_dialogs_ = std::make_unique<QtDialogs>();
    dialogs_ = own_dialogs_.get();
  }
  setObjectName(QStringLiteral("Form1"));
  BuildMenu();
  BuildClientArea();
  FormCreate(base);
}

TForm1::~TForm1() {
  SetLogFailureHandler(nullptr);
  if (busy_) QApplication::restoreOverrideCursor();
}

void TForm1::BuildMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  QAction* open = file->addAction(QStringLiteral("&Open"), this, &TForm1::Open1Click);
  open->setObjectName(QStringLiteral("Open1"));
  open->setShortcut(QKeySequence::Open);
  QAction* import = file->addAction(QStringLiteral("&Import picture..."), this, &TForm1::Import1Click);
  import->setObjectName(QStringLiteral("Import1"));
  QAction* check = file->addAction(QStringLiteral("&Check update image..."), this, &TForm1::CheckImage1Click);
  check->setObjectName(QStringLiteral("CheckImage1"));
  QAction* exit = file->addAction(QStringLiteral("E&xit"), this, &TForm1::Exit1Click);
  exit->setObjectName(QStringLiteral("Exit1"));
}

void TForm1::BuildClientArea() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  panel_ = new QFrame(client);
  panel_->setObjectName(QStringLiteral("Panel1"));
  panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel_->setLineWidth(2);
  panel_->setGeometry(0, 0, 732, 588);
  auto* no_picture = new QLabel(QStringLiteral("no picture"), panel_);
  no_picture->setTextFormat(Qt::PlainText);
  no_picture->setAlignment(Qt::AlignCenter);
  no_picture->setGeometry(panel_->rect());

  image_ = new QLabel(panel_);
  image_->setObjectName(QStringLiteral("Image1"));
  image_->setGeometry(4, 4, 720, 576);
  image_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  image_->setPixmap(QPixmap::fromImage(SamplePreviewImage()));

  button_go_ = new QToolButton(client);
  button_go_->setObjectName(QStringLiteral("ButtonGo"));
  button_go_->setGeometry(740, 440, 145, 145);
  button_go_->setIcon(GoIcon());
  button_go_->setIconSize(QSize(140, 140));
  button_go_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button_go_->setToolTip(kGoToolTip);
  button_go_->setAutoRaise(false);
  connect(button_go_, &QToolButton::clicked, this, &TForm1::ButtonGoClick);

  BuildStepButtons(client);

  status_bar_ = new QStatusBar(client);
  status_bar_->setObjectName(QStringLiteral("StatusBar1"));
  status_bar_->setGeometry(0, 590, kClientWidth, 19);
  status_bar_->setSizeGripEnabled(false);
  status_text_ = new QLabel(status_bar_);
  status_text_->setObjectName(QStringLiteral("StatusText"));
  // Names are shown as they are, never taken for markup.
  status_text_->setTextFormat(Qt::PlainText);
  status_bar_->addWidget(status_text_, 1);

  setAcceptDrops(true);
  setWindowIcon(QIcon(ProgramIconPixmap(48)));
}

// One step each, on fixed files in the Output folder; hidden at creation.
void TForm1::BuildStepButtons(QWidget* client) {
  struct StepButton {
    const char* name;
    const char* caption;
    int top;
    std::function<void()> run;
  };
  const auto out = [this](const char* file) { return startup_.folders.output + "/" + file; };
  const StepButton buttons[] = {
      {"ButtonConvBmp", "convbmp -r -ct", 8,
       [=, this] { convbmp(driver_->OpenedPicture(), out("welcome.qv.colortable"), out("welcome.qv.raw")); }},
      {"ButtonRawConv", "mkwelcomeimg rawconv", 36, [=] { rawconv(out("welcome.qv.raw"), out("welcome.qv.raw2")); }},
      {"ButtonGZip", "GZip -f9", 64,
       [=] {
         const int32_t code = gzip_f9(out("welcome.qv.raw2"), out("welcome.qv.raw2.gz"));
         WriteLog("GZIP_f9: Ret=" + std::to_string(code));
       }},
      {"ButtonDDwelcome", "dd welcome", 92,
       [=] { dd(out("welcome.qv.colortable"), out("welcome.qv.raw2.gz"), out("welcome.tmp")); }},
      {"ButtonAddHeader", "mkwelcomeimg addheader", 120,
       [=] { addheader(out("welcome.tmp"), out("welcome.tmp2"), out("welcome")); }},
      {"ButtonAppendBin", "appendbin -bs=0x2000", 152,
       [=] { appendbin(0x30000, out("welcome"), out("part_welcome.img")); }},
      {"Buttonmkusbimg", "mkdnimg -make usbimg", 184,
       [=] { mkusbimg400(out("part_welcome.img"), out("usb_welcome.img")); }},
  };
  for (const StepButton& b : buttons) {
    auto* button = new QPushButton(QString::fromLatin1(b.caption), client);
    button->setObjectName(QString::fromLatin1(b.name));
    button->setGeometry(744, b.top, 145, 25);
    button->setFocusPolicy(Qt::NoFocus);
    button->hide();
    connect(button, &QPushButton::clicked, this, b.run);
  }
}

// Start-up: menu styling, hidden step buttons (done while building), folders, log, caption.
void TForm1::FormCreate(const QString& base) {
  MenuStyler().Activate(menuBar());
  // A log that cannot be written is said once, instead of a status line that
  // sends the user to a log with nothing in it.
  SetLogFailureHandler([this](const std::string& why) { ShowMessage(why); });
  startup_ = base.isEmpty() ? StartUpDefault() : StartUp(LocalName(base));
  driver_ = std::make_unique<Driver>(*this, startup_.folders);
  setWindowTitle(QString::fromStdString(startup_.caption));
  const QSize size(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  setFixedSize(size);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
  }
  if (!startup_.error.empty()) ShowMessage(startup_.error);
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_once_) {
    shown_once_ = true;
    FormShow();
  }
}

void TForm1::FormShow() { SetStatus(driver_->OpenedPicture()); }

void TForm1::Open1Click() {
  const auto chosen = dialogs_->GetOpenFileName(this, kOpenTitle, kOpenFilter, QStringLiteral("bmp"));
  if (chosen) OpenPicture(*chosen);
}

void TForm1::OpenPicture(const QString& path) { OpenPictureFile(LocalName(path)); }

void TForm1::OpenPictureFile(const std::string& name) {
  // The choice stands even when the file cannot be shown: a later run then
  // reports what is wrong with it.
  driver_->SetOpenedPicture(name);
  std::string error;
  const QImage image = LoadPreviewImage(name, &error);
  if (image.isNull()) {
    WriteLog("ERROR: OpenFile(), Msg=" + error);
    return;
  }
  image_->setPixmap(QPixmap::fromImage(image));
  SetStatus(name);
}

// Shows the report, and the picture inside a sound image in the preview; the
// opened picture stays what it was.
void TForm1::CheckImage1Click() {
  const auto chosen = dialogs_->GetOpenFileName(this, kCheckTitle, kCheckFilter, QStringLiteral("img"));
  if (!chosen) return;
  const InspectReport report = InspectFile(LocalName(*chosen));
  if (report.picture) image_->setPixmap(QPixmap::fromImage(PictureImage(*report.picture)));
  QString text = *chosen + QStringLiteral("\n");
  for (const std::string& line : ReportText(report)) text += QStringLiteral("\n") + QString::fromStdString(line);
  dialogs_->ShowMessage(this, kCheckTitle, text);
}

void TForm1::Import1Click() {
  const auto chosen = dialogs_->GetOpenFileName(this, kImportTitle, ImportFilter(), QString());
  if (chosen) ImportPicture(*chosen);
}

void TForm1::ImportPicture(const QString& path) {
  const std::string picture = LocalName(path);
  const std::string bitmap = startup_.folders.input + "/" + BaseName(picture) + ".bmp";
  ImportReport report;
  try {
    struct BusyCursor {
      explicit BusyCursor(TForm1& form) : form(form) { form.SetBusyCursor(true); }
      ~BusyCursor() { form.SetBusyCursor(false); }
      TForm1& form;
    } busy(*this);
    report = ImportPictureLogged(picture, bitmap);
  } catch (const std::exception& e) {
    ShowMessage(e.what());
    return;
  }
  const std::string summary = SummarizeReport(report);
  OpenPictureFile(bitmap);
  SetStatus("Imported " + bitmap + ": " + summary);
}

void TForm1::OpenFromCommandLine(const QString& path) {
  if (ReadConvertibleBitmap(LocalName(path))) {
    OpenPicture(path);
  } else {
    ImportPicture(path);
  }
}

void TForm1::Exit1Click() { close(); }

void TForm1::ButtonGoClick() { driver_->RunOneClick(); }

std::string TForm1::ShowPicture(const std::string& path) {
  std::string error;
  const QImage image = LoadPreviewImage(path, &error);
  if (image.isNull()) return error;
  image_->setPixmap(QPixmap::fromImage(image));
  return {};
}

void TForm1::SetStatus(const std::string& text) {
  status_text_->setText(QString::fromStdString(PrintableName(text)));
}

void TForm1::ProcessEvents() { QCoreApplication::processEvents(); }

void TForm1::SetGoEnabled(bool enabled) { button_go_->setEnabled(enabled); }

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
  if (urls.size() == 1 && urls.first().isLocalFile() && IsBitmapPath(urls.first().toLocalFile())) {
    event->acceptProposedAction();
  }
}

void TForm1::dropEvent(QDropEvent* event) {
  const auto urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.first().isLocalFile()) return;
  event->acceptProposedAction();
  OpenPicture(urls.first().toLocalFile());
}

}  // namespace kws
