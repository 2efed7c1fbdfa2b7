// The main window on Qt's offscreen platform. Dialogs are answered through the
// window's seam; conditions are waited on, never fixed sleeps.
#include "ui/tform1.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <queue>

#include "fileio/destination.h"
#include "fileio/name_text.h"
#include "fit/bitmap_file.h"
#include "fit/tv_test_card.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "picture/tv_preview.h"
#include "preview/preview_loader.h"
#include "support/model_vectors.h"
#include "support/named_pipe.h"
#include "support/refused_bitmaps.h"
#include "support/test_support.h"
#include "ui/artwork.h"
#include "ui/import_dialog.h"
#include "ui/log_panel.h"
#include "ui/outcome_text.h"
#include "ui/window_fixture.h"

namespace kws {
namespace {

namespace fs = std::filesystem;

class ScriptedDialogs : public Dialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget*, const QString& title, const QString& filter, const QString& suffix,
                                         const QString& directory) override {
    asked_title = title;
    asked_filter = filter;
    asked_suffix = suffix;
    asked_directory = directory;
    if (answers.empty()) return std::nullopt;
    const QString answer = answers.front();
    answers.pop();
    if (answer.isEmpty()) return std::nullopt;  // the user cancelled
    return answer;
  }
  void ShowMessage(QWidget*, const QString&, const QString& text) override { messages << text; }
  std::optional<QString> GetSaveFileName(QWidget*, const QString& title, const QString&,
                                         const QString& suggested) override {
    asked_title = title;
    asked_save = suggested;
    if (save_answer.isEmpty()) return std::nullopt;
    return save_answer;
  }
  void ShowVerdict(QWidget* parent, const QString& title, const Verdict& verdict) override {
    verdicts.push_back(verdict);
    Dialogs::ShowVerdict(parent, title, verdict);
  }
  bool Confirm(QWidget*, const QString&, const QString& text) override {
    questions << text;
    return confirm;
  }
  void OpenUrl(const QUrl& url) override { opened_urls << url; }
  std::optional<ImportOptions> GetImportOptions(QWidget*, const QString& picture,
                                                const ImportOptions& options) override {
    asked_import_picture = picture;
    asked_import_options = options;
    if (import_dialog) return import_dialog(picture, options);
    if (!import_answer) return options;  // OK with the options as they are
    return *import_answer;
  }

  std::queue<QString> answers;  // an empty one cancels the dialog
  QStringList messages;
  QString asked_title, asked_filter, asked_suffix, asked_directory;
  QString save_answer, asked_save;  // an empty answer cancels the save dialog
  std::vector<Verdict> verdicts;
  QStringList questions;
  bool confirm = true;
  QList<QUrl> opened_urls;
  // The import dialog's answer: unset, OK as it is; nothing inside, Cancel.
  std::optional<std::optional<ImportOptions>> import_answer;
  QString asked_import_picture;
  std::optional<ImportOptions> asked_import_options;
  // When set, answers in place of import_answer: the real dialog, worked here.
  std::function<std::optional<ImportOptions>(const QString&, const ImportOptions&)> import_dialog;
};

void WriteFile(const QString& path, const test::Bytes& bytes) { test::WriteBytes(path.toStdString(), bytes); }

// What the window does with a picture named on its command line.
enum CommandLineOutcome { kOpened, kImported, kRefused };

}  // namespace

class TForm1Test : public QObject, public test::WindowTestCase<ScriptedDialogs> {
  Q_OBJECT

 private:
  QString Picture(const QString& name, const test::BitmapRecipe& recipe = {}) {
    const QString path = dir_.path() + "/" + name;
    WriteFile(path, test::MakeBitmap(recipe));
    return path;
  }

  // Drags the file onto the window and drops it there; false when the
  // window would not take it.
  bool DropFile(const QString& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &drop);
    return true;
  }
  // A flat-coloured photo of this size.
  QString Photo(const QString& name, int width, int height) {
    QImage photo(width, height, QImage::Format_RGB32);
    photo.fill(QColor(40, 90, 160));
    const QString path = dir_.path() + "/" + name;
    photo.save(path);
    return path;
  }
  QString PanelText() const { return form_->ActivityLog()->Text(); }
  QImage Preview() const { return Child<QLabel>("Image1")->pixmap().toImage(); }
  size_t OutputCount() const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(Home().toStdString() + "/Output")) ++n;
    return n;
  }
  std::string LogText() const {
    const auto bytes = test::ReadBytes(Home().toStdString() + "/Log/KestroWelcomeScreen.log");
    return std::string(bytes.begin(), bytes.end());
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    StartProgram();
  }

  void init() {
    QVERIFY(dir_.isValid());
    StartCase();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() { EndCase(); }

  void creationBuildsTheWindowAsLaidOut() {
    QCOMPARE(form_->windowTitle(), QStringLiteral("Kestro Welcome Screen   [Build 1.0.0.85]   by tallowfinch"));
    for (const char* folder : {"Input", "Temp", "Output", "Log"}) {
      QVERIFY(fs::is_directory(Home().toStdString() + "/" + folder));
    }
    QVERIFY(LogText().rfind("Logfile created: ", 0) == 0);
    QVERIFY(LogText().find(" => " + form_->Startup().caption) != std::string::npos);

    QCOMPARE(form_->centralWidget()->size(), QSize(892, 609));
    QCOMPARE(Child<QWidget>("Panel1")->geometry(), QRect(0, 0, 732, 588));
    QCOMPARE(Child<QLabel>("Image1")->size(), QSize(720, 576));
    QCOMPARE(Preview().size(), QSize(720, 576));
    QCOMPARE(Child<QToolButton>("ButtonGo")->geometry(), QRect(740, 440, 145, 145));
    QCOMPARE(Child<QToolButton>("ButtonGo")->iconSize(), QSize(140, 140));
    QCOMPARE(Child<QToolButton>("ButtonGo")->toolTip(),
             QString::fromUtf8("Yes, I\u00B4m the one click Button! So, why don\u00B4t you hit me?"));
    QCOMPARE(Child<QStatusBar>("StatusBar1")->geometry(), QRect(0, 590, 892, 19));
    for (const char* name : {"ButtonConvBmp", "ButtonRawConv", "ButtonGZip", "ButtonDDwelcome", "ButtonAddHeader",
                             "ButtonAppendBin", "Buttonmkusbimg"}) {
      auto* button = Child<QPushButton>(name);
      QVERIFY2(button, name);
      QVERIFY(button->isHidden());
      QCOMPARE(button->focusPolicy(), Qt::NoFocus);
    }
    QCOMPARE(Child<QPushButton>("ButtonGZip")->text(), QStringLiteral("GZip -f9"));
    const auto menus = form_->menuBar()->actions();
    QStringList titles;
    for (const QAction* menu : menus) titles << menu->text();
    QCOMPARE(titles, (QStringList{"&File", "&Actions", "&View", "&Help"}));
    QCOMPARE(Child<QAction>("Open1")->text(), QStringLiteral("&Open"));
    QCOMPARE(Child<QAction>("Import1")->text(), QString::fromUtf8("&Import picture\u2026"));
    QCOMPARE(Child<QAction>("CheckImage1")->text(), QString::fromUtf8("&Check update image\u2026"));
    QCOMPARE(Child<QAction>("Exit1")->text(), QStringLiteral("E&xit"));
    // Open first and Exit last, as ever; what opens a dialog ends with "…".
    const QList<QAction*> file = menus[0]->menu()->actions();
    QCOMPARE(file.first(), Child<QAction>("Open1"));
    QCOMPARE(file.last(), Child<QAction>("Exit1"));
    QStringList items;
    for (const QAction* item : file) {
      if (!item->isSeparator()) items << item->text();
    }
    QCOMPARE(items, (QStringList{"&Open", "Open &Recent", QString::fromUtf8("&Import picture\u2026"),
                                 QString::fromUtf8("&Check update image\u2026"),
                                 QString::fromUtf8("Extract &picture from update image\u2026"), "Open O&utput folder",
                                 "Open I&nput folder", "C&lose picture", "E&xit"}));
    QCOMPARE(form_->windowIcon().availableSizes().value(0), QSize(48, 48));
    // The window is centred and fits the screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(screen.contains(form_->frameGeometry()));
  }

  void statusIsEmptyAfterShow() { QCOMPARE(Status(), QString()); }

  void openConfirmedShowsThePictureAndPath() {
    const QString path = Picture("logo.bmp", {.seed = 5});
    dialogs_.answers.push(path);
    form_->Open1Click();
    QCOMPARE(dialogs_.asked_title, QStringLiteral("Select a Windows Bitmap (720x576, 256 col, 8 Bit)"));
    // The bitmap's filter first, the default; all pictures second.
    QVERIFY2(dialogs_.asked_filter.startsWith(QStringLiteral("Windows Bitmap (*.bmp);;Pictures (")),
             qPrintable(dialogs_.asked_filter));
    QCOMPARE(dialogs_.asked_suffix, QStringLiteral("bmp"));
    QCOMPARE(Status(), path);
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), path);
    QCOMPARE(Preview().convertToFormat(QImage::Format_RGB32),
             LoadPreviewImage(path.toStdString(), nullptr).convertToFormat(QImage::Format_RGB32));
  }

  void openCancelledChangesNothing() {
    const QImage before = Preview();
    dialogs_.answers.push(QString());
    form_->Open1Click();
    QCOMPARE(Status(), QString());
    QCOMPARE(Preview(), before);
    QVERIFY(form_->RunDriver().OpenedPicture().empty());
  }

  void openingAFileThatIsNoPictureLogsItAndStillOpensIt() {
    const QString path = dir_.path() + "/text.bmp";
    WriteFile(path, test::ToBytes("plain text"));
    const QImage before = Preview();
    dialogs_.answers.push(path);
    form_->Open1Click();
    QVERIFY(LogText().find("ERROR: OpenFile(), Msg=") != std::string::npos);
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), path);
    QCOMPARE(Preview(), before);
    QCOMPARE(Status(), QString());
  }

  // A named pipe called like a bitmap once kept the window waiting for a
  // writer; it is refused at once and the reason logged.
  void openingANamedPipeIsRefusedAtOnce() {
    test::NamedPipe pipe(dir_.path().toStdString() + "/pipe.bmp");
    QVERIFY(pipe.made());
    const QImage before = Preview();
    dialogs_.answers.push(QString::fromStdString(pipe.path()));
    form_->Open1Click();
    QVERIFY2(LogText().find("ERROR: OpenFile(), Msg=Cannot open file " + pipe.path() +
                            ": it is not a regular file but a named pipe") != std::string::npos,
             LogText().c_str());
    QCOMPARE(Preview(), before);
    QVERIFY(!pipe.ReleasedAHungReader());
  }

  // Names are data: markup in a file name shows as the characters it is,
  // in the status line and in message boxes.
  void namesShowAsPlainText() {
    const QString path = Picture("<b>bold<b> & <i>.bmp");
    form_->OpenPicture(path);
    QCOMPARE(Status(), path);
    QCOMPARE(Child<QLabel>("StatusText")->textFormat(), Qt::PlainText);

    QtDialogs dialogs;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    // Looks at the message box once it is up, then closes it; a box that
    // never comes is given up on after a while, failing the test.
    QTimer poll;
    int polls = 0;
    connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box && ++polls < 500) return;
      poll.stop();
      if (!box) return;
      shown = box->text();
      format = box->textFormat();
      box->accept();
    });
    poll.start(10);
    dialogs.ShowMessage(form_.get(), QStringLiteral("Title"), QStringLiteral("Cannot read <b>x</b>.png"));
    QCOMPARE(shown, QStringLiteral("Cannot read <b>x</b>.png"));
    QCOMPARE(format, Qt::PlainText);
  }

  void importConvertsThePictureIntoInputAndOpensIt() {
    QImage photo(640, 360, QImage::Format_RGB32);
    photo.fill(QColor(40, 90, 160));
    const QString path = dir_.path() + "/holiday.png";
    QVERIFY(photo.save(path));
    dialogs_.answers.push(path);
    Child<QAction>("Import1")->trigger();

    QCOMPARE(dialogs_.asked_title, QStringLiteral("Select a picture to import (any format, size and colours)"));
    QVERIFY(dialogs_.asked_filter.startsWith(QStringLiteral("Pictures (")));
    QVERIFY(dialogs_.asked_filter.contains(QStringLiteral("*.png")));
    QVERIFY(dialogs_.asked_filter.contains(QStringLiteral("*.jpg")));
    QVERIFY(dialogs_.asked_filter.contains(QStringLiteral("*.gif")));
    QVERIFY(dialogs_.asked_filter.endsWith(QStringLiteral(");;All files (*)")));
    const QString bitmap = Home() + "/Input/holiday.bmp";
    QVERIFY(ReadConvertibleBitmap(bitmap.toStdString()));
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), bitmap);
    QVERIFY2(Status().startsWith(QStringLiteral("Imported ") + bitmap + QStringLiteral(": 2 colours, no dithering, ")),
             qPrintable(Status()));
    QVERIFY(Status().endsWith(QStringLiteral(" of 180,208 bytes, PSNR lossless")));
    // Made for a 4:3 TV, shown as that TV shows it.
    QCOMPARE(Preview().convertToFormat(QImage::Format_RGB32),
             TvReference(bitmap, Display::k4x3, false).convertToFormat(QImage::Format_RGB32));
    QVERIFY(LogText().find("ImportPicture: In=" + path.toStdString() + ", Out=" + bitmap.toStdString()) !=
            std::string::npos);
    QVERIFY(dialogs_.messages.isEmpty());
    QVERIFY(QApplication::overrideCursor() == nullptr);

    Click();
    QCOMPARE(OutputCount(), test::kImagesPerPicture);
    QCOMPARE(Status(), QStringLiteral("done! see log for details..."));
  }

  void importCancelledChangesNothing() {
    dialogs_.answers.push(QString());
    form_->Import1Click();
    QVERIFY(fs::is_empty(Home().toStdString() + "/Input"));
    QCOMPARE(Status(), QString());
    QVERIFY(form_->RunDriver().OpenedPicture().empty());
  }

  void importOfAFileThatIsNoPictureSaysWhy() {
    const QString path = dir_.path() + "/notes.png";
    WriteFile(path, test::ToBytes("plain text"));
    dialogs_.answers.push(path);
    form_->Import1Click();
    QCOMPARE(dialogs_.messages.size(), 1);
    QStringList formats;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) formats << QString::fromLatin1(format);
    QCOMPARE(dialogs_.messages[0], QStringLiteral("Cannot read ") + path +
                                       QStringLiteral(" as a picture: Unsupported image format; the formats it reads "
                                                      "are ") +
                                       formats.join(QStringLiteral(", ")));
    QVERIFY(LogText().find("ERROR: ImportPicture(" + path.toStdString() + "), Msg=Cannot read ") != std::string::npos);
    QVERIFY(fs::is_empty(Home().toStdString() + "/Input"));
    QVERIFY(form_->RunDriver().OpenedPicture().empty());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  // "Open with" from a file manager: kestro-welcome PICTURE.
  void openFromTheCommandLine_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");  // empty: a bitmap the pipeline takes
    QTest::addColumn<int>("outcome");
    QTest::newRow("bitmap the pipeline takes") << "logo.bmp" << QByteArray() << int(kOpened);
    QTest::newRow("PNG") << "holiday.png" << QByteArray("PNG") << int(kImported);
    QTest::newRow("JPEG") << "photo.jpg" << QByteArray("JPEG") << int(kImported);
    QTest::newRow("bitmap of another size and kind") << "small.bmp" << QByteArray("BMP") << int(kImported);
    QTest::newRow("no picture at all") << "notes.bmp" << QByteArray("text") << int(kRefused);
  }

  void openFromTheCommandLine() {
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(int, outcome);
    const QString path = dir_.path() + "/" + name;
    if (format.isEmpty()) {
      WriteFile(path, test::MakeBitmap({.seed = 9}));
    } else if (format == "text") {
      WriteFile(path, test::ToBytes("plain text"));
    } else {
      QImage photo(320, 200, QImage::Format_RGB32);
      photo.fill(QColor(200, 120, 40));
      QVERIFY(photo.save(path, format.constData()));
    }
    form_->OpenFromCommandLine(path);

    const QString bitmap = Home() + "/Input/" + QFileInfo(name).completeBaseName() + ".bmp";
    switch (outcome) {
      case kOpened:
        QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), path);
        QCOMPARE(Status(), path);
        QVERIFY(fs::is_empty(Home().toStdString() + "/Input"));
        break;
      case kImported:
        QVERIFY(ReadConvertibleBitmap(bitmap.toStdString()));
        QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), bitmap);
        QVERIFY2(Status().startsWith(QStringLiteral("Imported ") + bitmap + QStringLiteral(": ")),
                 qPrintable(Status()));
        break;
      case kRefused:
        QCOMPARE(dialogs_.messages.size(), 1);
        QVERIFY(dialogs_.messages[0].startsWith(QStringLiteral("Cannot read ") + path));
        QVERIFY(form_->RunDriver().OpenedPicture().empty());
        QVERIFY(fs::is_empty(Home().toStdString() + "/Input"));
        return;
    }
    QVERIFY(dialogs_.messages.isEmpty());
    // An imported picture, made for a 4:3 TV, is shown as that TV shows it.
    const QString opened = QString::fromStdString(form_->RunDriver().OpenedPicture());
    QCOMPARE(Preview().convertToFormat(QImage::Format_RGB32),
             outcome == kImported
                 ? TvReference(opened, Display::k4x3, false).convertToFormat(QImage::Format_RGB32)
                 : LoadPreviewImage(opened.toStdString(), nullptr).convertToFormat(QImage::Format_RGB32));
  }

  void droppingABitmapOpensIt() {
    const QString path = Picture("dropped.bmp");
    QVERIFY(DropFile(path));
    QCOMPARE(Status(), path);
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), path);
  }

  void oneClickOnTheOpenedPictureMakesSixImages() {
    form_->OpenPicture(Picture("logo.bmp"));
    // Looked at from inside the run, at its first processing of events.
    bool seen_disabled = false, seen_busy = false;
    QTimer::singleShot(0, [&] {
      seen_disabled = !Child<QToolButton>("ButtonGo")->isEnabled();
      seen_busy = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    Click();
    QVERIFY(seen_disabled);
    QVERIFY(seen_busy);
    QCOMPARE(OutputCount(), test::kImagesPerPicture);
    QCOMPARE(Status(), QStringLiteral("done! see log for details..."));
    QVERIFY(Child<QToolButton>("ButtonGo")->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void oneClickWithoutPictureRunsTheInputFolder() {
    const QString input = Home() + "/Input/";
    WriteFile(input + "a.bmp", test::MakeBitmap({.seed = 3}));
    WriteFile(input + "b.bmp", test::MakeBitmap({.seed = 8}));
    Click();
    QCOMPARE(OutputCount(), 2 * test::kImagesPerPicture);
    QCOMPARE(Status(), QStringLiteral("no more files to process! see log for details..."));
    QCOMPARE(Preview().convertToFormat(QImage::Format_RGB32),
             LoadPreviewImage((input + "b.bmp").toStdString(), nullptr).convertToFormat(QImage::Format_RGB32));
  }

  void errorDuringARunRestoresButtonAndCursor() {
    // The folder the run started in disappears while it runs, so the run
    // cannot go back to it.
    const QString doomed = dir_.path() + "/doomed";
    QVERIFY(QDir().mkpath(doomed));
    const QString saved = QDir::currentPath();
    QDir::setCurrent(doomed);
    form_->OpenPicture(Picture("logo.bmp"));
    QTimer::singleShot(0, [&] { QTimer::singleShot(0, [&] { fs::remove(doomed.toStdString()); }); });
    Click();
    QDir::setCurrent(saved);
    QVERIFY(Status().startsWith(QStringLiteral("ERROR: ")));
    QVERIFY(LogText().find("ERROR: OneClick(), Msg=") != std::string::npos);
    QVERIFY(Child<QToolButton>("ButtonGo")->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void openedPictureDeletedBeforeTheClickProcessesNothing() {
    WriteFile(Home() + "/Input/in.bmp", test::MakeBitmap());
    const QString path = Picture("gone.bmp");
    form_->OpenPicture(path);
    QFile::remove(path);
    Click();
    QCOMPARE(OutputCount(), size_t{0});
    QCOMPARE(Status(), path);
    QVERIFY(Child<QToolButton>("ButtonGo")->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void singleStepButtonsWorkOnTheOutputFolder() {
    form_->OpenPicture(Picture("logo.bmp"));
    for (const char* name : {"ButtonConvBmp", "ButtonRawConv", "ButtonGZip", "ButtonDDwelcome", "ButtonAddHeader",
                             "ButtonAppendBin", "Buttonmkusbimg"}) {
      Child<QPushButton>(name)->click();
    }
    const std::string out = Home().toStdString() + "/Output/";
    QCOMPARE(fs::file_size(out + "welcome.qv.raw2"), std::uintmax_t{414720});
    QCOMPARE(fs::file_size(out + "part_welcome.img"), std::uintmax_t{0x30000});
    QCOMPARE(fs::file_size(out + "usb_welcome.img"), std::uintmax_t{0x30000 + 4096});
    QVERIFY(LogText().find(" => GZIP_f9: Ret=0\r\n") != std::string::npos);
    QVERIFY(LogText().find("ERROR") == std::string::npos);
  }

  void checkUpdateImageShowsTheReportAndThePictureInside() {
    form_->OpenPicture(Picture("logo.bmp", {.seed = 5}));
    Click();
    const QString other = Picture("other.bmp", {.seed = 6});
    form_->OpenPicture(other);
    const QString image = Home() + "/Output/logo_kestro400_serial_welcome.img";
    dialogs_.answers.push(image);
    Child<QAction>("CheckImage1")->trigger();
    QCOMPARE(dialogs_.asked_title, QStringLiteral("Check update image"));
    QCOMPARE(dialogs_.asked_filter, QStringLiteral("Update images (*.img);;All files (*)"));
    QCOMPARE(dialogs_.asked_suffix, QStringLiteral("img"));
    QCOMPARE(dialogs_.messages.size(), 1);
    const QStringList lines = dialogs_.messages[0].split(QLatin1Char('\n'));
    QCOMPARE(lines[0], image);
    QCOMPARE(lines[2], QStringLiteral("serial update image: model name \"kestro400\", payload 200704 bytes"));
    QVERIFY(lines[3].startsWith(QStringLiteral("USB update image: model mkusbimg400, ")));
    QCOMPARE(lines.last(), QStringLiteral("sound"));
    // The preview shows the picture inside; the opened picture stays.
    QCOMPARE(Preview().convertToFormat(QImage::Format_RGB32),
             LoadPreviewImage(dir_.path().toStdString() + "/logo.bmp", nullptr).convertToFormat(QImage::Format_RGB32));
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), other);
    QCOMPARE(Status(), other);
  }

  void checkingAFileThatIsNoImageShowsTheFaultOnly() {
    const QString path = dir_.path() + "/notes.img";
    WriteFile(path, test::ToBytes("plain text"));
    const QImage before = Preview();
    dialogs_.answers.push(path);
    form_->CheckImage1Click();
    QCOMPARE(dialogs_.messages.size(), 1);
    QVERIFY(
        dialogs_.messages[0].endsWith(QStringLiteral("\nfault: file: format: expected a serial update image, USB "
                                                     "update image, partition image or welcome image, found none "
                                                     "of these")));
    QCOMPARE(Preview(), before);

    dialogs_.answers.push(QString());  // cancelled
    form_->CheckImage1Click();
    QCOMPARE(dialogs_.messages.size(), 1);
  }

  void startUpErrorIsShownInAMessageBox() {
    const QString base = dir_.path() + "/broken";
    QVERIFY(QDir().mkpath(base + "/Log"));
    WriteFile(base + "/Temp", {0});
    ScriptedDialogs dialogs;
    TForm1 form(&dialogs, base);
    QCOMPARE(dialogs.messages.size(), 1);
    QVERIFY(dialogs.messages[0].startsWith(QStringLiteral("ERROR: FormCreate(), Msg=")));
  }

  // ---- What the second status field says ----

  void secondFieldSaysWhatARunDid_data() {
    QTest::addColumn<int>("bit_count");
    QTest::addColumn<QString>("outcome");  // "%1": the short Output folder
    QTest::addColumn<bool>("log_panel_opens");
    QTest::newRow("made") << 8 << "6 images in %1" << false;
    QTest::newRow("failed, with the remedy")
        << 24
        << QString::fromUtf8(
               "failed: logo.bmp \u2014 bit depth 24, needs 8 (File \u25B8 Import picture\u2026 converts it)")
        << true;
  }

  void secondFieldSaysWhatARunDid() {
    QFETCH(int, bit_count);
    QFETCH(QString, outcome);
    QFETCH(bool, log_panel_opens);
    form_->OpenPicture(Picture("logo.bmp", {.bit_count = static_cast<uint16_t>(bit_count)}));
    QVERIFY(!form_->ActivityLog()->isVisible());
    Click();
    const std::string output = Home().toStdString() + "/Output";
    outcome.replace(QStringLiteral("%1"), QString::fromStdString(ShortFolder(output, QDir::homePath().toStdString())));
    QCOMPARE(Outcome(), outcome);
    QCOMPARE(Child<QToolButton>("OpenFolderButton")->isVisible(), !log_panel_opens);
    QCOMPARE(form_->ActivityLog()->isVisible(), log_panel_opens);
    // The fixed status texts stay what they are.
    QCOMPARE(Status(), log_panel_opens ? QStringLiteral("done with errors! see log for details...")
                                       : QStringLiteral("done! see log for details..."));
    if (!log_panel_opens) {
      // Which image is for which receiver and which way of updating.
      const QString tip = Child<QLabel>("OutcomeText")->toolTip();
      for (const char* receiver : {"borvik200", "kestro300", "kestro400"}) {
        for (const char* way : {"usb", "serial"}) {
          const QString line = QStringLiteral("logo_%1_%2_welcome.img: %3 update image for the %1 receiver")
                                   .arg(receiver, way, way == std::string("usb") ? "USB" : "serial");
          QVERIFY2(tip.contains(line.toHtmlEscaped()), qPrintable(tip));
        }
      }
      QVERIFY2(tip.contains(QStringLiteral("manual names the steps")), qPrintable(tip));
      Child<QToolButton>("OpenFolderButton")->click();
      QCOMPARE(dialogs_.opened_urls, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(output))});
    } else {
      QVERIFY(PanelText().contains(QStringLiteral("ERROR: ")));
    }
  }

  // Each refused bitmap's outcome names what the log's first error names.
  void outcomeNamesTheRuleTheLogNames() {
    for (const test::RefusedBitmap& c : test::RefusedBitmaps()) {
      // The window opens only pictures that are there.
      if (c.bytes.empty()) continue;
      const QString path = dir_.path() + "/" + QString::fromStdString(c.name);
      WriteFile(path, c.bytes);
      form_->OpenPicture(path);
      Click();
      QVERIFY2(
          Outcome().startsWith(QStringLiteral("failed: ") + QString::fromStdString(c.name) + QString::fromUtf8(" — ")),
          qPrintable(Outcome()));
      QVERIFY2(Outcome().contains(QString::fromStdString(c.reason)), qPrintable(Outcome()));
      QVERIFY2(PanelText().contains(QString::fromStdString(c.logged)), qPrintable(PanelText()));
    }
  }

  void shortFolderNamesTheFolderAtAGlance_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("shown");
    QTest::newRow("deep in home") << "/home/ann/Documents/Kestro Welcome/Output"
                                  << "/home/ann" << QString::fromUtf8("~/\u2026/Output");
    QTest::newRow("near home") << "/home/ann/Kestro/Output"
                               << "/home/ann"
                               << "~/Kestro/Output";
    QTest::newRow("home itself") << "/home/ann"
                                 << "/home/ann"
                                 << "~";
    QTest::newRow("a name that only begins like home") << "/home/anne/Output"
                                                       << "/home/ann"
                                                       << "/home/anne/Output";
    QTest::newRow("deep elsewhere") << "/srv/kestro/work/Output"
                                    << "/home/ann" << QString::fromUtf8("/srv/\u2026/Output");
    QTest::newRow("no home") << "/opt/k/Output"
                             << ""
                             << "/opt/k/Output";
  }

  void shortFolderNamesTheFolderAtAGlance() {
    QFETCH(QString, folder);
    QFETCH(QString, home);
    QFETCH(QString, shown);
    QCOMPARE(QString::fromStdString(ShortFolder(folder.toStdString(), home.toStdString())), shown);
  }

  void batchWithFailuresCountsThemAndNamesThemInTheLogPanel() {
    const QString input = Home() + "/Input/";
    WriteFile(input + "a.bmp", test::MakeBitmap({.seed = 3}));
    WriteFile(input + "b.bmp", test::MakeBitmap({.bit_count = 24}));
    WriteFile(input + "c.bmp", test::MakeBitmap({.seed = 4}));
    WriteFile(input + "d.bmp", test::ToBytes("plain text"));
    Click();
    QCOMPARE(OutputCount(), 2 * test::kImagesPerPicture);
    QCOMPARE(Status(), QStringLiteral("no more files to process! see log for details..."));
    QCOMPARE(Outcome(), QStringLiteral("2 of 4 pictures made, 2 failed"));
    // What the next click converts, counted again after the run.
    QVERIFY2(Child<QLabel>("OutcomeText")
                 ->toolTip()
                 .contains(QStringLiteral("No picture opened: the button converts the 4 bitmaps in Input")),
             qPrintable(Child<QLabel>("OutcomeText")->toolTip()));
    QVERIFY(form_->ActivityLog()->isVisible());
    const QString panel = PanelText();
    QVERIFY2(panel.contains(QString::fromUtf8("failed: b.bmp \u2014 bit depth 24, needs 8")), qPrintable(panel));
    QVERIFY(panel.contains(QString::fromUtf8("failed: d.bmp \u2014 not a Windows bitmap")));
    QVERIFY(!panel.contains(QStringLiteral("failed: a.bmp")));
    QVERIFY(Child<QToolButton>("CancelButton")->isHidden());
  }

  // A picture that fails after its first image was written (the serial
  // images' names pass the system's 255-byte limit) is named in the log panel
  // with that image as new and an older one of its names as left from before.
  void aFailedPictureNamesItsNewAndOlderImages() {
    const std::string base(227, 'p');
    WriteFile(Home() + "/Input/" + QString::fromStdString(base) + ".bmp", test::MakeBitmap());
    const std::vector<OutputImage> images = OutputImages((Home() + "/Output").toStdString(), base);
    test::WriteBytes(images[2].path, {1, 2, 3});
    Click();
    const QString panel = PanelText();
    const auto name = [](const std::string& path) { return QString::fromStdString(fs::path(path).filename()); };
    QVERIFY2(panel.contains(QStringLiteral("this run made 1 image of it before it failed (") + name(images[0].path)),
             qPrintable(panel));
    QVERIFY(panel.contains(QStringLiteral("from an earlier run, not of this picture (") + name(images[2].path)));
  }

  void cancelStopsTheBatchAfterTheCurrentPicture() {
    const QString input = Home() + "/Input/";
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) WriteFile(input + name, test::MakeBitmap());
    QStringList progress;
    // At the run's event points: note the progress, and press Cancel while
    // the second picture is being converted.
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      if (progress.isEmpty() || progress.last() != Outcome()) progress << Outcome();
      auto* cancel = Child<QToolButton>("CancelButton");
      if (Outcome() == QStringLiteral("2 of 3: b.bmp") && cancel->isVisible() && cancel->isEnabled()) cancel->click();
    });
    watch.start(0);
    Click();
    watch.stop();
    QVERIFY2(progress.contains(QStringLiteral("1 of 3: a.bmp")), qPrintable(progress.join('|')));
    QCOMPARE(OutputCount(), 2 * test::kImagesPerPicture);
    QCOMPARE(Outcome(), QStringLiteral("2 of 3 pictures made, stopped by the user"));
    QVERIFY(LogText().find("MultiProcessing: stopped by the user, before c.bmp") != std::string::npos);
    QVERIFY(Child<QToolButton>("CancelButton")->isHidden());
    QVERIFY(!form_->ActivityLog()->isVisible());
  }

  // ---- What is shown and what will be made ----

  void openedButUnshowableSaysTheButtonStillTries_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QImage photo(32, 32, QImage::Format_RGB32);
    photo.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    photo.save(&buffer, "PNG");
    QTest::newRow("text") << "text.bmp" << QByteArray("plain text")
                          << "not a Windows bitmap, nor a picture of a kind the import reads";
    QTest::newRow("PNG") << "holiday.png" << png << "it is a PNG picture, not a Windows bitmap";
  }

  void openedButUnshowableSaysTheButtonStillTries() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    const QString path = dir_.path() + "/" + name;
    WriteFile(path, test::Bytes(content.begin(), content.end()));
    dialogs_.answers.push(path);
    dialogs_.import_answer.emplace();  // the import offered for a picture is declined
    form_->Open1Click();
    QCOMPARE(Outcome(), QStringLiteral("cannot show ") + name + QStringLiteral(": ") + reason +
                            QString::fromUtf8(" \u2014 the button will still try to convert it"));
    QVERIFY(PanelText().contains(QStringLiteral("ERROR: OpenFile(), Msg=")));
    QCOMPARE(form_->ActivityLog()->KindOf(form_->ActivityLog()->Count() - 1), LogPanel::Kind::kError);
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), path);
  }

  void nothingOpenedSaysWhatTheButtonConverts() {
    const QString input = QString::fromStdString(form_->Startup().folders.input);
    QCOMPARE(Outcome(), QStringLiteral("No picture opened, and Input (") + input +
                            QStringLiteral(") is empty: open a picture or put bitmaps there"));
    WriteFile(input + "/a.bmp", test::MakeBitmap());
    WriteFile(input + "/B.BMP", test::MakeBitmap({.seed = 2}));
    WriteFile(input + "/.hidden.bmp", test::MakeBitmap());
    WriteFile(input + "/notes.txt", test::ToBytes("x"));
    // Counted again after each run.
    form_->OpenPicture(Picture("logo.bmp"));
    Child<QAction>("ClosePicture1")->trigger();
    QCOMPARE(Outcome(), QStringLiteral("No picture opened: the button converts the 2 bitmaps in Input (") + input +
                            QStringLiteral(")"));
  }

  void closePictureReturnsToTheBuiltInPicture() {
    form_->OpenPicture(Picture("logo.bmp", {.seed = 5}));
    QVERIFY(Preview().convertToFormat(QImage::Format_RGB32) !=
            SamplePreviewImage().convertToFormat(QImage::Format_RGB32));
    Child<QAction>("ClosePicture1")->trigger();
    QCOMPARE(Preview().convertToFormat(QImage::Format_RGB32),
             SamplePreviewImage().convertToFormat(QImage::Format_RGB32));
    QCOMPARE(Status(), QString());
    QVERIFY(form_->RunDriver().OpenedPicture().empty());
    QVERIFY(Outcome().startsWith(QStringLiteral("No picture opened")));
  }

  void openedPictureDeletedBeforeTheClickSaysSo() {
    const QString path = Picture("gone.bmp");
    form_->OpenPicture(path);
    QFile::remove(path);
    Click();
    QCOMPARE(Outcome(), QStringLiteral("gone.bmp no longer exists"));
    // Opened from the recent list after it went: the same words.
    Child<QAction>("ClosePicture1")->trigger();
    form_->OpenPicture(path);
    QCOMPARE(Outcome(), QStringLiteral("gone.bmp no longer exists"));
  }

  void checkedImageInThePreviewIsSaid() {
    form_->OpenPicture(Picture("logo.bmp", {.seed = 5}));
    Click();
    form_->OpenPicture(Picture("other.bmp", {.seed = 6}));
    dialogs_.answers.push(Home() + "/Output/logo_kestro400_serial_welcome.img");
    Child<QAction>("CheckImage1")->trigger();
    QCOMPARE(Outcome(), QStringLiteral("The preview shows the picture inside logo_kestro400_serial_welcome.img; the "
                                       "button converts other.bmp"));
    QCOMPARE(Status(), dir_.path() + "/other.bmp");
  }

  // ---- The verdict of a checked image ----

  void verdictHeadline_data() {
    QTest::addColumn<QString>("image");  // in Output after a run on logo.bmp; else a file made here
    QTest::addColumn<int>("damage_at");  // flips the byte at this offset from the end; -1: none
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("headline");  // a pattern
    QTest::newRow("sound USB image")
        << "logo_borvik200_usb_welcome.img" << -1 << int(Verdict::Kind::kSound)
        << QString::fromUtf8(
               "^Sound: USB update image for borvik200 \\(kestro100s serial\\), picture 720 \u00D7 576, "
               "\\d+ colours \u2014 safe to flash$");
    QTest::newRow("sound serial image")
        << "logo_kestro400_serial_welcome.img" << -1 << int(Verdict::Kind::kSound)
        << QString::fromUtf8(
               "^Sound: serial update image for kestro400 \\(kestro400 serial\\), picture 720 "
               "\u00D7 576, \\d+ colours \u2014 safe to flash$");
    QTest::newRow("damaged") << "logo_borvik200_usb_welcome.img" << 100 << int(Verdict::Kind::kDamaged)
                             << QString::fromUtf8("^Damaged \u2014 do not flash: .*expected .*, found ");
    QTest::newRow("a bitmap") << "picture.bmp" << -1 << int(Verdict::Kind::kNotAnImage)
                              << "^This is a bitmap, not an update image$";
  }

  void verdictHeadline() {
    QFETCH(QString, image);
    QFETCH(int, damage_at);
    QFETCH(int, kind);
    QFETCH(QString, headline);
    form_->OpenPicture(Picture("logo.bmp", {.seed = 5}));
    Click();
    QString path = Home() + "/Output/" + image;
    if (image == "picture.bmp") path = Picture(image);
    if (damage_at >= 0) {
      test::Bytes bytes = test::ReadBytes(path.toStdString());
      bytes[bytes.size() - static_cast<size_t>(damage_at)] ^= 0x5A;
      path = dir_.path() + "/damaged.img";
      WriteFile(path, bytes);
    }
    dialogs_.answers.push(path);
    Child<QAction>("CheckImage1")->trigger();
    QCOMPARE(dialogs_.verdicts.size(), size_t{1});
    const Verdict& verdict = dialogs_.verdicts[0];
    QCOMPARE(int(verdict.kind), kind);
    QVERIFY2(QRegularExpression(headline).match(verdict.headline).hasMatch(), qPrintable(verdict.headline));
    QVERIFY(verdict.details.startsWith(path + "\n\n"));
  }

  // ---- Menus ----

  void recentFilesAndDialogFoldersAreRemembered() {
    QStringList opened;
    for (int i = 0; i < 10; ++i) {
      QVERIFY(QDir().mkpath(dir_.path() + QStringLiteral("/r%1").arg(i)));
      opened.prepend(Picture(QStringLiteral("r%1/logo%1.bmp").arg(i), {.seed = static_cast<uint32_t>(i + 1)}));
      dialogs_.answers.push(opened.first());
      form_->Open1Click();
    }
    QCOMPARE(form_->RecentFiles(), opened.mid(0, 8));
    // The dialog starts where the last file was chosen, also in a new window.
    form_.reset();
    form_ = std::make_unique<TForm1>(&dialogs_, Home());
    dialogs_.answers.push(QString());
    form_->Open1Click();
    QCOMPARE(dialogs_.asked_directory, dir_.path() + "/r9");
    // The menu lists them newest first; choosing one opens it.
    const QList<QAction*> items = Child<QMenu>("OpenRecent1")->actions();
    QVERIFY(items.size() >= 8);
    QVERIFY2(items[2]->text().startsWith(QStringLiteral("&3  logo7.bmp")), qPrintable(items[2]->text()));
    items[2]->trigger();
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), opened[2]);
    QCOMPARE(form_->RecentFiles().first(), opened[2]);
  }

  void actionsMenuMakesTheImagesAndExitHasItsShortcut() {
    auto* make = Child<QAction>("MakeImages1");
    QCOMPARE(make->shortcuts(),
             (QList<QKeySequence>{QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return)}));
    QCOMPARE(Child<QAction>("Exit1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    form_->OpenPicture(Picture("logo.bmp"));
    // While the run goes on, the picture it converts cannot be changed, nor
    // a second run started.
    bool open_disabled = false, recent_disabled = false, make_disabled = false;
    QTimer::singleShot(0, [&] {
      open_disabled = !Child<QAction>("Open1")->isEnabled();
      recent_disabled = !Child<QMenu>("OpenRecent1")->menuAction()->isEnabled();
      make_disabled = !make->isEnabled();
    });
    QVERIFY(Child<QMenu>("OpenRecent1")->menuAction()->isEnabled());
    make->trigger();
    QVERIFY(open_disabled);
    QVERIFY(recent_disabled);
    QVERIFY(make_disabled);
    QVERIFY(Child<QAction>("Open1")->isEnabled());
    QVERIFY(Child<QMenu>("OpenRecent1")->menuAction()->isEnabled());
    QCOMPARE(OutputCount(), test::kImagesPerPicture);
    Child<QAction>("OpenInput1")->trigger();
    Child<QAction>("OpenOutput1")->trigger();
    QCOMPARE(dialogs_.opened_urls,
             (QList<QUrl>{QUrl::fromLocalFile(Home() + "/Input"), QUrl::fromLocalFile(Home() + "/Output")}));
  }

  void aboutNamesVersionLicenceLibrariesAndFolders() {
    Child<QAction>("About1")->trigger();
    QCOMPARE(dialogs_.messages.size(), 1);
    const QString& about = dialogs_.messages[0];
    for (const QString& part :
         {QStringLiteral("Kestro Welcome Screen 1.0.0.85"), QStringLiteral("GPL-3.0-or-later"),
          QStringLiteral("Qt ") + qVersion(), QStringLiteral("zlib "), QStringLiteral("libimagequant"),
          QStringLiteral("Input: ") + Home() + "/Input", QStringLiteral("Output: ") + Home() + "/Output"}) {
      QVERIFY2(about.contains(part), qPrintable(part));
    }
  }

  void extractWritesThePictureInsideAsABitmap() {
    const QString logo = Picture("logo.bmp", {.seed = 5});
    form_->OpenPicture(logo);
    Click();
    dialogs_.answers.push(Home() + "/Output/logo_borvik200_usb_welcome.img");
    dialogs_.save_answer = dir_.path() + "/extracted.bmp";
    Child<QAction>("ExtractPicture1")->trigger();
    QCOMPARE(dialogs_.asked_save, Home() + "/Input/logo_borvik200_usb_welcome.bmp");
    const auto extracted = ReadConvertibleBitmap(dialogs_.save_answer.toStdString());
    QVERIFY(extracted);
    QCOMPARE(extracted->pixels, ReadConvertibleBitmap(logo.toStdString())->pixels);
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), logo);
  }

  // Names are data: bytes that are not UTF-8 still name their file, and a
  // name with CR/LF is one escaped entry in the log, never two.
  void namesOfAnyBytesReachTheFileAndTheLogAsData() {
    const std::string raw = dir_.path().toStdString() + "/caf\xe9.bmp";
    test::WriteBytes(raw, test::MakeBitmap({.seed = 5}));
    form_->OpenFromCommandLine(QString::fromStdU16String(NameToUtf16(raw)));
    QCOMPARE(form_->RunDriver().OpenedPicture(), raw);
    QVERIFY(dialogs_.messages.isEmpty());

    Click();
    dialogs_.answers.push(Home() + "/Output/caf" + QChar(0xdce9) + "_borvik200_usb_welcome.img");
    dialogs_.save_answer = dir_.path() + "/forged\r\n2026-01-01 00:00:00.000 => ERROR: x.bmp";
    Child<QAction>("ExtractPicture1")->trigger();
    const std::string log = LogText();
    QVERIFY2(log.find("ExtractPicture: In=" + Home().toStdString() +
                      "/Output/caf\xe9_borvik200_usb_welcome.img, Out=" + dir_.path().toStdString() +
                      "/forged\\r\\n2026-01-01 00:00:00.000 => ERROR: x.bmp\r\n") != std::string::npos,
             log.c_str());
    QVERIFY(log.find("\n2026-01-01 00:00:00.000 => ERROR") == std::string::npos);
    // QTemporaryDir cannot remove names that are not UTF-8 itself.
    for (const std::string& folder : {dir_.path().toStdString(), Home().toStdString() + "/Output"}) {
      for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().filename().string().find('\xe9') != std::string::npos) fs::remove(e.path());
      }
    }
  }

  // ---- The View menu: the preview as the TV shows it ----

  QAction* ViewAction(const char* name) const { return Child<QAction>(name); }
  QImage PreviewRgb() const { return Preview().convertToFormat(QImage::Format_RGB32); }
  // The command line's preview of the picture, fitted into the window's.
  static QImage TvReference(const QString& bitmap, Display display, bool guides) {
    TvPreviewOptions options;
    options.display = display;
    options.guides = guides;
    const QImage tv = RenderTvPreview(*ReadConvertibleBitmap(bitmap.toStdString()), options);
    if (tv.size() == QSize(720, 576)) return tv;
    return tv.scaled(QSize(720, 576), Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }

  void viewMenuOffersTheTvShapesAndTheGuides() {
    QStringList items;
    for (const QAction* item : Child<QMenu>("View1")->actions()) {
      if (!item->isSeparator()) items << item->text();
    }
    QCOMPARE(items,
             (QStringList{"&Activity log", "As on a &4:3 TV", "As on a 1&6:9 TV", "&Pixels", "Safe-area &guides"}));
    QVERIFY(ViewAction("ViewPixels")->isChecked());
    QVERIFY(!ViewAction("ViewTv4x3")->isChecked());
    QVERIFY(!ViewAction("ViewTv16x9")->isChecked());
    QVERIFY(!ViewAction("SafeAreaGuides1")->isChecked());
    // One shape at a time; the guides go with any of them.
    ViewAction("ViewTv4x3")->trigger();
    ViewAction("SafeAreaGuides1")->trigger();
    ViewAction("ViewTv16x9")->trigger();
    QVERIFY(ViewAction("ViewTv16x9")->isChecked());
    QVERIFY(!ViewAction("ViewTv4x3")->isChecked());
    QVERIFY(!ViewAction("ViewPixels")->isChecked());
    QVERIFY(ViewAction("SafeAreaGuides1")->isChecked());
  }

  void viewShowsThePictureAsTheTvDoes_data() {
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<int>("display");
    QTest::addColumn<bool>("guides");
    QTest::addColumn<QSize>("size");
    QTest::newRow("4:3") << QByteArray("ViewTv4x3") << int(Display::k4x3) << false << QSize(720, 540);
    QTest::newRow("16:9") << QByteArray("ViewTv16x9") << int(Display::k16x9) << false << QSize(720, 405);
    QTest::newRow("4:3 with guides") << QByteArray("ViewTv4x3") << int(Display::k4x3) << true << QSize(720, 540);
    QTest::newRow("16:9 with guides") << QByteArray("ViewTv16x9") << int(Display::k16x9) << true << QSize(720, 405);
    QTest::newRow("pixels with guides") << QByteArray("ViewPixels") << int(Display::kSquare) << true << QSize(720, 576);
  }

  // Each view is the command line's preview of the same picture, fitted into
  // the preview; back to Pixels, the preview is the picture as before.
  void viewShowsThePictureAsTheTvDoes() {
    QFETCH(QByteArray, action);
    QFETCH(int, display);
    QFETCH(bool, guides);
    QFETCH(QSize, size);
    const QString path = Picture("logo.bmp", {.seed = 7});
    form_->OpenPicture(path);
    const QImage pixels = PreviewRgb();
    QCOMPARE(pixels, LoadPreviewImage(path.toStdString(), nullptr).convertToFormat(QImage::Format_RGB32));
    ViewAction(action.constData())->trigger();
    if (guides) ViewAction("SafeAreaGuides1")->trigger();
    QCOMPARE(Preview().size(), size);
    QCOMPARE(PreviewRgb(), TvReference(path, Display(display), guides).convertToFormat(QImage::Format_RGB32));
    QCOMPARE(Child<QLabel>("Image1")->alignment(), Qt::AlignCenter);
    if (guides) ViewAction("SafeAreaGuides1")->trigger();
    ViewAction("ViewPixels")->trigger();
    QCOMPARE(PreviewRgb(), pixels);
    QCOMPARE(Child<QLabel>("Image1")->alignment(), Qt::AlignLeft | Qt::AlignTop);
  }

  // In the receiver's pixels, the guides are the outlines of the action-safe
  // (yellow) and title-safe (cyan) areas and nothing else.
  void guidesChangeOnlyThePixelsOfTheSafeAreaFrames() {
    form_->OpenPicture(Picture("logo.bmp", {.seed = 11}));
    const QImage plain = PreviewRgb();
    ViewAction("SafeAreaGuides1")->trigger();
    const QImage guided = PreviewRgb();
    QCOMPARE(guided.size(), QSize(720, 576));
    const TvPreviewOptions square{.display = Display::kSquare};
    const QRect action = GuideRect(SafeArea::kAction, square);
    const QRect title = GuideRect(SafeArea::kTitle, square);
    QCOMPARE(action, SafeRect(SafeArea::kAction, QSize(720, 576)));
    const auto on_outline = [](const QRect& r, int x, int y) {
      return r.contains(x, y) && (x == r.left() || x == r.right() || y == r.top() || y == r.bottom());
    };
    int changed = 0;
    for (int y = 0; y < 576; ++y) {
      for (int x = 0; x < 720; ++x) {
        const QRgb pixel = guided.pixel(x, y);
        if (on_outline(title, x, y)) {
          QCOMPARE(QColor(pixel), kTitleGuideColor);
        } else if (on_outline(action, x, y)) {
          QCOMPARE(QColor(pixel), kActionGuideColor);
        } else if (pixel != plain.pixel(x, y)) {
          QFAIL(qPrintable(QStringLiteral("pixel %1,%2 changed off the guides").arg(x).arg(y)));
        }
        if (pixel != plain.pixel(x, y)) ++changed;
      }
    }
    // Most of both outlines differ from the random picture beneath.
    QVERIFY2(changed > (action.width() + action.height() + title.width() + title.height()),
             qPrintable(QString::number(changed)));
    ViewAction("SafeAreaGuides1")->trigger();
    QCOMPARE(PreviewRgb(), plain);
  }

  // A view shows; it never changes the opened picture, its file, nor the
  // images the button makes of it.
  void viewChangesNeitherThePictureNorWhatTheButtonMakes() {
    const QString path = Picture("logo.bmp", {.seed = 5});
    form_->OpenPicture(path);
    const test::Bytes picture = test::ReadBytes(path.toStdString());
    const auto outputs = [this] {
      std::map<std::string, test::Bytes> made;
      for (const auto& e : fs::directory_iterator(Home().toStdString() + "/Output")) {
        made[e.path().filename().string()] = test::ReadBytes(e.path().string());
      }
      return made;
    };
    Click();
    const auto before = outputs();
    QCOMPARE(before.size(), size_t{6});
    const QString status = Status();
    ViewAction("ViewTv16x9")->trigger();
    ViewAction("SafeAreaGuides1")->trigger();
    QCOMPARE(test::ReadBytes(path.toStdString()), picture);
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), path);
    QCOMPARE(Status(), status);
    for (const auto& e : fs::directory_iterator(Home().toStdString() + "/Output")) fs::remove(e.path());
    Click();
    QCOMPARE(Status(), QStringLiteral("done! see log for details..."));
    QVERIFY(outputs() == before);
    QCOMPARE(test::ReadBytes(path.toStdString()), picture);
  }

  // The view is kept for the next window; a stored name it does not know
  // (a hand-edited or newer settings file) is Pixels without guides. With no
  // picture opened the view shows the built-in one.
  void viewIsRememberedAndAnUnknownSettingFallsBackToPixels() {
    ViewAction("ViewTv16x9")->trigger();
    ViewAction("SafeAreaGuides1")->trigger();
    form_ = std::make_unique<TForm1>(&dialogs_, Home());
    QVERIFY(ViewAction("ViewTv16x9")->isChecked());
    QVERIFY(ViewAction("SafeAreaGuides1")->isChecked());
    QCOMPARE(Preview().size(), QSize(720, 405));

    for (const char* garbage : {"widescreen", "", "16:10"}) {
      Settings().setValue("view/display", garbage);
      Settings().setValue("view/guides", garbage);
      form_ = std::make_unique<TForm1>(&dialogs_, Home());
      QVERIFY2(ViewAction("ViewPixels")->isChecked(), garbage);
      QVERIFY2(!ViewAction("SafeAreaGuides1")->isChecked(), garbage);
      QCOMPARE(PreviewRgb(), SamplePreviewImage().convertToFormat(QImage::Format_RGB32));
    }
  }

  // A file the preview shows that is no receiver picture (a 24-bit bitmap)
  // has no TV shape to take: it shows as loaded in every view.
  void viewLeavesAFileThatIsNoReceiverPictureAsLoaded() {
    ViewAction("ViewTv4x3")->trigger();
    ViewAction("SafeAreaGuides1")->trigger();
    QImage photo(320, 200, QImage::Format_RGB32);
    photo.fill(QColor(200, 120, 40));
    const QString path = dir_.path() + "/photo.bmp";
    QVERIFY(photo.save(path, "BMP"));
    form_->OpenPicture(path);
    QCOMPARE(Status(), path);
    QCOMPARE(PreviewRgb(), LoadPreviewImage(path.toStdString(), nullptr).convertToFormat(QImage::Format_RGB32));
  }

  // ---- The test card ----

  // Beside the working folders, opened, and through the whole chain: the
  // images made of it are sound and hold the card.
  void testCardOpensAPictureThatMakesSoundImages() {
    Child<QAction>("TestCard1")->trigger();
    const QString card = Home() + "/test-card.bmp";
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), card);
    QCOMPARE(Status(), card);
    const std::optional<Picture8> written = ReadConvertibleBitmap(card.toStdString());
    QVERIFY(written);
    QCOMPARE(written->width, 720);
    QCOMPARE(written->height, 576);
    QVERIFY(written->pixels == MakeTestCard().pixels);
    QCOMPARE(PreviewRgb(), LoadPreviewImage(card.toStdString(), nullptr).convertToFormat(QImage::Format_RGB32));
    QVERIFY(LogText().find("TestCard: Out=" + card.toStdString()) != std::string::npos);
    QVERIFY(Outcome().startsWith(QStringLiteral("test card: ")));
    QVERIFY(fs::is_empty(Home().toStdString() + "/Input"));
    Click();
    QCOMPARE(OutputCount(), 6);
    QCOMPARE(Status(), QStringLiteral("done! see log for details..."));
    const InspectReport report = InspectFile(Home().toStdString() + "/Output/test-card_borvik200_usb_welcome.img");
    QVERIFY(report.Sound());
    QVERIFY(report.picture && report.picture->pixels == written->pixels);
  }

  void testCardReplacesOnlyWhatMayBeReplaced_data() {
    QTest::addColumn<QString>("there");  // what lies under the card's name: nothing, card, text, folder
    QTest::addColumn<bool>("confirm");   // the answer to the question, if asked
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("opened");
    QTest::newRow("nothing there") << "nothing" << false << false << true;
    QTest::newRow("an earlier card") << "card" << false << false << true;
    QTest::newRow("a file of the user's, kept") << "text" << false << true << false;
    QTest::newRow("a file of the user's, replaced") << "text" << true << true << true;
    QTest::newRow("a folder in the way") << "folder" << true << false << false;
  }

  void testCardReplacesOnlyWhatMayBeReplaced() {
    QFETCH(QString, there);
    QFETCH(bool, confirm);
    QFETCH(bool, asked);
    QFETCH(bool, opened);
    const std::string card = Home().toStdString() + "/test-card.bmp";
    if (there == "card") WriteBitmap8(card, MakeTestCard());
    if (there == "text") WriteFile(QString::fromStdString(card), test::ToBytes("my notes"));
    if (there == "folder") fs::create_directory(card);
    dialogs_.confirm = confirm;
    Child<QAction>("TestCard1")->trigger();
    QCOMPARE(dialogs_.questions,
             asked ? QStringList{"home already holds test-card.bmp. Replace it with the test card?"} : QStringList());
    QCOMPARE(form_->RunDriver().OpenedPicture(), opened ? card : std::string());
    if (opened) QVERIFY(ReadConvertibleBitmap(card)->pixels == MakeTestCard().pixels);
    if (there == "text" && !opened) QCOMPARE(test::ReadBytes(card), test::ToBytes("my notes"));
    if (there == "folder") {
      QCOMPARE(dialogs_.messages.size(), 1);
      QVERIFY(fs::is_directory(card));
      QVERIFY(LogText().find("ERROR: TestCard(" + card + "), Msg=") != std::string::npos);
    } else {
      QVERIFY(dialogs_.messages.isEmpty());
    }
  }

  // What another program puts under the name between the window's judgement
  // and its write (the hook stands in for it) is kept; the result goes beside
  // it, is opened there, and the outcome field says both.
  void writesKeepWhatChangedMeanwhile_data() {
    QTest::addColumn<QString>("action");
    QTest::newRow("import") << "import";
    QTest::newRow("extract") << "extract";
    QTest::newRow("test card") << "card";
  }

  void writesKeepWhatChangedMeanwhile() {
    QFETCH(QString, action);
    std::string out;
    if (action == "import") {
      QImage photo(64, 48, QImage::Format_RGB32);
      photo.fill(QColor(40, 90, 160));
      QVERIFY(photo.save(dir_.path() + "/race.png"));
      dialogs_.answers.push(dir_.path() + "/race.png");
      out = Home().toStdString() + "/Input/race.bmp";
    } else if (action == "extract") {
      form_->OpenPicture(Picture("logo.bmp", {.seed = 5}));
      Click();
      dialogs_.answers.push(Home() + "/Output/logo_borvik200_usb_welcome.img");
      dialogs_.save_answer = dir_.path() + "/race.bmp";
      out = dialogs_.save_answer.toStdString();
    } else {
      out = Home().toStdString() + "/test-card.bmp";
    }
    const std::string beside = out.substr(0, out.size() - 4) + "-1.bmp";
    hooks::before_final_step = [&] { test::WriteBytes(out, test::ToBytes("their file")); };
    const char* trigger = action == "import" ? "Import1" : action == "extract" ? "ExtractPicture1" : "TestCard1";
    Child<QAction>(trigger)->trigger();
    QVERIFY(!hooks::before_final_step);
    QCOMPARE(test::ReadBytes(out), test::ToBytes("their file"));
    QVERIFY(ReadConvertibleBitmap(beside));
    QVERIFY2(Outcome().contains(QString::fromStdString(
                 out + " is kept (something took the name meanwhile); written as " + beside + " instead")),
             qPrintable(Outcome()));
    if (action != "extract") QCOMPARE(form_->RunDriver().OpenedPicture(), beside);
    QVERIFY(dialogs_.messages.isEmpty());
  }

  // ---- Replacing files the user named ----

  // Started with a picture ("Open with"), the import's bitmap in Input is
  // replaced only when an import made it or the user says so, and that is
  // said; a bitmap in Input that is the picture itself stays: the import goes
  // beside it.
  void openWithReplacesNothingUnasked_data() {
    QTest::addColumn<QString>("there");  // at Input/photo.bmp: nothing, user, made, input (the picture)
    QTest::addColumn<bool>("confirm");   // the answer to the question, if asked
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("imported");  // the bitmap written in Input, or none
    QTest::addColumn<QString>("said");      // in the second status field; INPUT: the Input folder
    QTest::newRow("nothing there") << "nothing" << false << false << "photo.bmp"
                                   << "";
    QTest::newRow("a bitmap of the user's, kept") << "user" << false << true << ""
                                                  << "not imported: photo.bmp in Input is kept";
    QTest::newRow("a bitmap of the user's, replaced") << "user" << true << true << "photo.bmp"
                                                      << "replaced INPUT/photo.bmp";
    QTest::newRow("an earlier import's bitmap") << "made" << false << false << "photo.bmp"
                                                << "replaced INPUT/photo.bmp, a bitmap an import made";
    QTest::newRow("the picture itself, 24-bit") << "input" << true << false << "photo-1.bmp"
                                                << "photo.bmp itself stays as it was; imported as photo-1.bmp";
  }

  void openWithReplacesNothingUnasked() {
    QFETCH(QString, there);
    QFETCH(bool, confirm);
    QFETCH(bool, asked);
    QFETCH(QString, imported);
    QFETCH(QString, said);
    const QString input = Home() + "/Input";
    const std::string bitmap = (input + "/photo.bmp").toStdString();
    QString picture = Photo("photo.jpg", 320, 200);
    if (there == "user") WriteFile(QString::fromStdString(bitmap), test::MakeBitmap({.seed = 3}));
    if (there == "made") form_->OpenFromCommandLine(picture);
    if (there == "input") {
      WriteFile(QString::fromStdString(bitmap), test::MakeBitmap({.bit_count = 24}));
      picture = QString::fromStdString(bitmap);
    }
    const test::Bytes before = fs::exists(bitmap) ? test::ReadBytes(bitmap) : test::Bytes();
    dialogs_.confirm = confirm;
    form_->OpenFromCommandLine(picture);
    QCOMPARE(
        dialogs_.questions,
        asked ? QStringList{"Input already holds photo.bmp. Replace it with the imported picture?"} : QStringList());
    if (imported.isEmpty() || there == "input") QCOMPARE(test::ReadBytes(bitmap), before);
    if (!imported.isEmpty()) {
      const QString written = input + "/" + imported;
      QVERIFY(ReadConvertibleBitmap(written.toStdString()));
      QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), written);
    }
    said.replace(QStringLiteral("INPUT"), input);
    if (said.isEmpty()) {
      QVERIFY2(!Outcome().contains(QStringLiteral("replaced")), qPrintable(Outcome()));
    } else {
      QVERIFY2(Outcome().contains(said), qPrintable(Outcome()));
    }
    QVERIFY(LogText().find("replaced") == std::string::npos);
    QVERIFY(dialogs_.messages.isEmpty());
  }

  // File > Extract picture: the chosen file is replaced only when an extract
  // wrote it or the user says so; the update image itself never.
  void extractReplacesNothingUnasked_data() {
    QTest::addColumn<QString>("there");  // at the chosen name: nothing, user, made, input (the image)
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("written");
    QTest::newRow("nothing there") << "nothing" << false << false << true;
    QTest::newRow("a file of the user's, kept") << "user" << false << true << false;
    QTest::newRow("a file of the user's, replaced") << "user" << true << true << true;
    QTest::newRow("an earlier extract") << "made" << false << false << true;
    QTest::newRow("the update image itself") << "input" << true << false << false;
  }

  void extractReplacesNothingUnasked() {
    QFETCH(QString, there);
    QFETCH(bool, confirm);
    QFETCH(bool, asked);
    QFETCH(bool, written);
    const QString logo = Picture("logo.bmp", {.seed = 5});
    form_->OpenPicture(logo);
    Click();
    const QString image = Home() + "/Output/logo_borvik200_usb_welcome.img";
    const QString out = there == "input" ? image : dir_.path() + "/extracted.bmp";
    if (there != "input") fs::remove(out.toStdString());  // from a test before
    if (there == "user") WriteFile(out, test::ToBytes("my notes"));
    if (there == "made") {
      dialogs_.answers.push(image);
      dialogs_.save_answer = out;
      Child<QAction>("ExtractPicture1")->trigger();
      QVERIFY(dialogs_.questions.isEmpty());
    }
    const test::Bytes before = fs::exists(out.toStdString()) ? test::ReadBytes(out.toStdString()) : test::Bytes();
    dialogs_.confirm = confirm;
    dialogs_.answers.push(image);
    dialogs_.save_answer = out;
    Child<QAction>("ExtractPicture1")->trigger();
    const QString question = QFileInfo(dir_.path()).fileName() +
                             QStringLiteral(" already holds extracted.bmp. Replace it with the extracted picture?");
    QCOMPARE(dialogs_.questions, asked ? QStringList{question} : QStringList());
    if (written) {
      QCOMPARE(ReadConvertibleBitmap(out.toStdString())->pixels, ReadConvertibleBitmap(logo.toStdString())->pixels);
      QVERIFY2(Outcome().startsWith(QStringLiteral("picture of logo_borvik200_usb_welcome.img written to ")),
               qPrintable(Outcome()));
      QCOMPARE(Outcome().contains(QStringLiteral("replaced ") + out), there != "nothing");
    } else {
      QCOMPARE(test::ReadBytes(out.toStdString()), before);
    }
    if (there == "input") {
      QCOMPARE(dialogs_.messages, QStringList{out + " is the input " + image + " itself; name another output"});
      QVERIFY(InspectFile(image.toStdString()).Sound());
    } else {
      QVERIFY(dialogs_.messages.isEmpty());
    }
  }

  // ---- The activity log panel ----

  void logPanelFollowsTheLogAsItIsWritten() {
    auto* toggle = Child<QAction>("ActivityLog1");
    QCOMPARE(toggle->text(), QStringLiteral("&Activity log"));
    const int height = form_->height();
    toggle->trigger();
    QVERIFY(form_->ActivityLog()->isVisible());
    QVERIFY(form_->height() > height);
    QCOMPARE(form_->centralWidget()->size(), QSize(892, 609));
    // Since the window opened: the caption of start-up first.
    QVERIFY(PanelText().contains(QString::fromStdString(form_->Startup().caption)));
    const int before = form_->ActivityLog()->Count();
    WriteLog("WARNING: a <b>warning</b>");
    WriteLog("ERROR: an error");
    WriteLog("a line");
    QCOMPARE(form_->ActivityLog()->Count(), before + 3);
    QCOMPARE(form_->ActivityLog()->KindOf(before), LogPanel::Kind::kWarning);
    QCOMPARE(form_->ActivityLog()->KindOf(before + 1), LogPanel::Kind::kError);
    QCOMPARE(form_->ActivityLog()->KindOf(before + 2), LogPanel::Kind::kInfo);
    QVERIFY(PanelText().contains(QStringLiteral("WARNING: a <b>warning</b>")));

    Child<QPushButton>("CopyLogButton")->click();
    QCOMPARE(QApplication::clipboard()->text(), PanelText());
    Child<QPushButton>("OpenLogFileButton")->click();
    QCOMPARE(dialogs_.opened_urls,
             QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(form_->Startup().folders.log_file))});
    toggle->trigger();
    QVERIFY(!form_->ActivityLog()->isVisible());
    QCOMPARE(form_->height(), height);
  }

  // ---- The import dialog ----

  void importDialogWritesOnlyOnOkAndRemembersItsOptions() {
    const QString path = Photo("holiday.png", 640, 360);
    const QString bitmap = Home() + "/Input/holiday.bmp";
    // Cancelled: nothing written, nothing opened.
    dialogs_.import_answer = std::optional<ImportOptions>();
    dialogs_.answers.push(path);
    Child<QAction>("Import1")->trigger();
    QCOMPARE(dialogs_.asked_import_picture, path);
    QVERIFY(fs::is_empty(Home().toStdString() + "/Input"));
    QVERIFY(form_->RunDriver().OpenedPicture().empty());

    // OK with fill and a red background: written, opened, remembered.
    ImportOptions chosen;
    chosen.fill = true;
    chosen.background = {255, 0, 0};
    dialogs_.import_answer = chosen;
    dialogs_.answers.push(path);
    Child<QAction>("Import1")->trigger();
    QVERIFY(ReadConvertibleBitmap(bitmap.toStdString()));
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), bitmap);
    QVERIFY(dialogs_.questions.isEmpty());

    // A new window starts the dialog from them; replacing the bitmap is asked.
    form_.reset();
    form_ = std::make_unique<TForm1>(&dialogs_, Home());
    dialogs_.import_answer.reset();
    dialogs_.confirm = false;
    const test::Bytes before = test::ReadBytes(bitmap.toStdString());
    WriteFile(bitmap, test::ToBytes("not to be lost"));
    dialogs_.answers.push(path);
    Child<QAction>("Import1")->trigger();
    QVERIFY(dialogs_.asked_import_options);
    QVERIFY(dialogs_.asked_import_options->fill);
    QVERIFY(dialogs_.asked_import_options->background == (Rgb{255, 0, 0}));
    QCOMPARE(dialogs_.questions, QStringList{"Input already holds holiday.bmp. Replace it with the imported picture?"});
    QCOMPARE(test::ReadBytes(bitmap.toStdString()), test::ToBytes("not to be lost"));
    dialogs_.confirm = true;
    dialogs_.answers.push(path);
    Child<QAction>("Import1")->trigger();
    QCOMPARE(test::ReadBytes(bitmap.toStdString()), before);
  }

  void importDialogPreviewsTheResultInTheBackground() {
    const QString path = Photo("wide.png", 640, 360);
    ImportDialog dialog(path, ImportOptions{}, form_.get());
    // The import runs while the dialog is already up.
    QCOMPARE(dialog.Info(), QString::fromUtf8("Importing\u2026"));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    QVERIFY2(dialog.Info().contains(QStringLiteral("PSNR")), qPrintable(dialog.Info()));
    QVERIFY(dialog.Info().contains(QStringLiteral("180,208")));
    // Fit: bars of the background above and below the wide picture.
    QCOMPARE(dialog.PreviewImage().size(), QSize(720, 576));
    QCOMPARE(dialog.PreviewImage().pixelColor(0, 0), QColor(0, 0, 0));
    dialog.SetBackground({0, 200, 0});
    dialog.SetFill(true);  // while the first change is still being imported
    QVERIFY(!dialog.PreviewCurrent());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    QCOMPARE(dialog.PreviewImage().pixelColor(0, 0), QColor(40, 90, 160));
    dialog.SetFill(false);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    QCOMPARE(dialog.PreviewImage().pixelColor(0, 0), QColor(0, 200, 0));
    QCOMPARE(dialog.Options().background, (Rgb{0, 200, 0}));
    // Nothing written.
    QVERIFY(fs::is_empty(Home().toStdString() + "/Input"));
  }

  // A caption typed in the dialog goes into the import, across the picture
  // or on its band; one too long even in two lines is refused, and the dialog
  // says so and does not import.
  void importDialogTakesACaptionAndSaysWhenItDoesNotFit() {
    const QString path = Photo("wide.png", 640, 360);
    ImportDialog dialog(path, ImportOptions{}, form_.get());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    dialog.findChild<QLineEdit*>("CaptionEdit")->setText(QStringLiteral("v1.2 Kestro"));
    dialog.findChild<QCheckBox*>("CaptionBandBox")->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    const std::optional<Caption> caption = dialog.Options().caption;
    QVERIFY(caption && caption->text == "v1.2 Kestro" && caption->band);
    QVERIFY(!dialog.PreviewImage().isNull());
    dialog.findChild<QLineEdit*>("CaptionEdit")->setText(QString(200, QLatin1Char('x')));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    QVERIFY2(dialog.Info().contains(QStringLiteral("The caption is too long for the title-safe width")),
             qPrintable(dialog.Info()));
    QVERIFY(dialog.PreviewImage().isNull());
    QVERIFY(!dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled());
  }

  // ---- The import for a TV ----

  QString ImportLogNote(int from) const {
    for (int row = from; row < form_->ActivityLog()->Count(); ++row) {
      if (form_->ActivityLog()->KindOf(row) == LogPanel::Kind::kWarning) {
        return PanelText().split(QLatin1Char('\n')).value(row);
      }
    }
    return {};
  }

  // As the command line: for a 4:3 TV, the report naming it, the smoothed
  // search on; a stored TV the window does not know is the default again.
  void importIsForA43TvUnlessToldAndUnknownSettingsFallBack() {
    const auto verify_default = [this](const char* why) {
      const ImportOptions options = form_->RememberedImportOptions();
      QVERIFY2(options.display == Display::k4x3, why);
      QVERIFY2(options.safe == SafeArea::kNone, why);
      QVERIFY2(options.for_tv, why);
      QVERIFY2(options.by_seen, why);
      QVERIFY2(!options.fill, why);
    };
    verify_default("nothing stored");
    for (const char* garbage : {"wide", "", "TITLE", "16:10"}) {
      Settings().setValue("import/display", garbage);
      Settings().setValue("import/safe", garbage);
      verify_default(garbage);
    }
    Settings().setValue("import/display", "square");
    Settings().setValue("import/safe", "action");
    const ImportOptions stored = form_->RememberedImportOptions();
    QVERIFY(stored.display == Display::kSquare);
    QVERIFY(stored.safe == SafeArea::kAction);
    QVERIFY(stored.for_tv);
  }

  // The TV chosen in one import dialog is where the next one starts, in a
  // new window too, and the import is made for it.
  void importDialogRemembersTheTvAcrossDialogs() {
    const QString path = Photo("holiday.png", 640, 360);
    QStringList started;
    dialogs_.import_dialog = [&](const QString& picture, const ImportOptions& options) -> std::optional<ImportOptions> {
      ImportDialog dialog(picture, options, form_.get());
      auto* display = dialog.findChild<QComboBox*>("DisplayBox");
      auto* safe = dialog.findChild<QComboBox*>("SafeAreaBox");
      started << display->currentText() + " / " + safe->currentText();
      display->setCurrentIndex(display->findText("16:9 TV"));
      safe->setCurrentIndex(safe->findText("Title-safe"));
      if (!QTest::qWaitFor([&] { return dialog.PreviewCurrent(); }, 60000)) return std::nullopt;
      return dialog.Options();
    };
    for (int i = 0; i < 2; ++i) {
      dialogs_.answers.push(path);
      Child<QAction>("Import1")->trigger();
    }
    form_ = std::make_unique<TForm1>(&dialogs_, Home());
    dialogs_.answers.push(path);
    Child<QAction>("Import1")->trigger();
    QCOMPARE(started, (QStringList{"4:3 TV / None", "16:9 TV / Title-safe", "16:9 TV / Title-safe"}));
    QCOMPARE(Settings().value("import/display").toString(), QStringLiteral("16:9"));
    QCOMPARE(Settings().value("import/safe").toString(), QStringLiteral("title"));
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), Home() + "/Input/holiday.bmp");
    const QString report = Child<QLabel>("StatusText")->toolTip();
    QVERIFY2(report.contains(QStringLiteral(
                 "Display: 16:9 TV (each pixel shows 64:45 as wide as high), fitted into the title-safe area")),
             qPrintable(report));
    // Inside the title-safe area, the background around it.
    const std::optional<Picture8> bitmap = ReadConvertibleBitmap((Home() + "/Input/holiday.bmp").toStdString());
    QVERIFY(bitmap);
    const auto colour = [&](int x, int y) { return bitmap->palette[bitmap->pixels[y * 720 + x]]; };
    QVERIFY(colour(360, 288) == (Rgb{40, 90, 160}));
    QVERIFY(colour(40, 288) == (Rgb{0, 0, 0}));
  }

  // The dialog offers the three displays and safe areas, and its preview and
  // report follow the choice.
  void importDialogPreviewsForTheTvChosen() {
    const QString path = Photo("wide.png", 640, 360);
    ImportDialog dialog(path, form_->RememberedImportOptions(), form_.get());
    const auto items = [&](const char* name) {
      QStringList texts;
      auto* box = dialog.findChild<QComboBox*>(name);
      for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
      return texts;
    };
    QCOMPARE(items("DisplayBox"), (QStringList{"4:3 TV", "16:9 TV", "Square pixels"}));
    QCOMPARE(items("SafeAreaBox"), (QStringList{"None", "Action-safe", "Title-safe"}));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    QVERIFY2(dialog.Info().contains(QStringLiteral("Display: 4:3 TV")), qPrintable(dialog.Info()));
    // A 16:9 photo for a 4:3 TV: bars above and below.
    QCOMPARE(dialog.PreviewImage().pixelColor(360, 0), QColor(0, 0, 0));
    dialog.SetDisplay(Display::k16x9);
    QCOMPARE(dialog.findChild<QComboBox*>("DisplayBox")->currentText(), QStringLiteral("16:9 TV"));
    QVERIFY(!dialog.PreviewCurrent());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    QVERIFY2(dialog.Info().contains(QStringLiteral("Display: 16:9 TV")), qPrintable(dialog.Info()));
    QCOMPARE(dialog.PreviewImage().pixelColor(360, 0), QColor(40, 90, 160));
    dialog.SetSafeArea(SafeArea::kAction);
    QCOMPARE(dialog.findChild<QComboBox*>("SafeAreaBox")->currentText(), QStringLiteral("Action-safe"));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
    QVERIFY(dialog.Info().contains(QStringLiteral("fitted into the action-safe area")));
    QCOMPARE(dialog.PreviewImage().pixelColor(360, 0), QColor(0, 0, 0));
    const ImportOptions chosen = dialog.Options();
    QVERIFY(chosen.display == Display::k16x9);
    QVERIFY(chosen.safe == SafeArea::kAction);
    QVERIFY(chosen.for_tv);
    QVERIFY(chosen.by_seen);
  }

  // What shows badly on a TV is said where it is seen: on the status line
  // and as a warning in the log panel, which opens.
  void importWarningsForTheTvShowInTheWindow() {
    QImage small(100, 75, QImage::Format_RGB32);
    small.fill(QColor(40, 120, 40));
    const QString path = dir_.path() + "/small.png";
    QVERIFY(small.save(path));
    const int before = form_->ActivityLog()->Count();
    QVERIFY(!form_->ActivityLog()->isVisible());
    form_->ImportPicture(path);
    QVERIFY2(Status().contains(QStringLiteral("; warning: the picture is scaled up 7.7 times")), qPrintable(Status()));
    QVERIFY(Child<QLabel>("StatusText")->toolTip().contains(QStringLiteral("Display: 4:3 TV")));
    QVERIFY(form_->ActivityLog()->isVisible());
    QVERIFY2(ImportLogNote(before).startsWith(QStringLiteral("warning: small.png: the picture is scaled up 7.7 times")),
             qPrintable(PanelText()));
  }

  void droppingAnyOtherPictureOpensTheImportDialog() {
    const QString path = Photo("dropped.png", 320, 200);
    QVERIFY(DropFile(path));
    QTRY_COMPARE(dialogs_.asked_import_picture, path);
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), Home() + "/Input/dropped.bmp");
  }

  // Errors and warnings stand out from the theme's own background, light or dark.
  void logPanelColoursSuitTheTheme_data() {
    QTest::addColumn<QColor>("base");
    QTest::newRow("light") << QColor(Qt::white);
    QTest::newRow("dark") << QColor(0x20, 0x20, 0x24);
  }

  void logPanelColoursSuitTheTheme() {
    QFETCH(QColor, base);
    LogPanel panel;
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Base, base);
    panel.setPalette(palette);
    panel.AddEntry(QStringLiteral("12:00:00.000"), QStringLiteral("ERROR: x"));
    panel.AddEntry(QStringLiteral("12:00:00.000"), QStringLiteral("WARNING: y"));
    for (int row = 0; row < 2; ++row) {
      QVERIFY2(std::abs(panel.ColourOf(row).lightness() - base.lightness()) > 90, qPrintable(QString::number(row)));
    }
  }

  // Markup in a name shows as its characters in every place a name shows.
  void markupInNamesStaysPlainText() {
    const QString name = QStringLiteral("<b>x<b> & <i>y.bmp");
    const QString path = dir_.path() + "/" + name;
    WriteFile(path, test::ToBytes("plain text"));
    form_->OpenPicture(path);
    QVERIFY2(Outcome().startsWith(QStringLiteral("cannot show ") + name + QStringLiteral(": ")), qPrintable(Outcome()));
    QVERIFY(Child<QLabel>("OutcomeText")->toolTip().contains(name.toHtmlEscaped()));
    QVERIFY(PanelText().contains(QStringLiteral("ERROR: OpenFile(), Msg=")));
    const QAction* recent = Child<QMenu>("OpenRecent1")->actions().value(0);
    QVERIFY(recent);
    QVERIFY2(recent->text().startsWith(QStringLiteral("&1  <b>x<b> && <i>y.bmp")), qPrintable(recent->text()));
    QVERIFY(recent->toolTip().contains(path.toHtmlEscaped()));
    Click();
    QVERIFY(PanelText().contains(QStringLiteral("failed: ") + name));
  }

  void exitClosesTheWindow() {
    form_->Exit1Click();
    QVERIFY(!form_->isVisible());
  }
};

}  // namespace kws

QTEST_MAIN(kws::TForm1Test)
#include "tform1_test.moc"
