// The main window on Qt's offscreen platform. Dialogs are answered through the
// window's seam; conditions are waited on, never fixed sleeps.
#include "ui/tform1.h"

#include <QAction>
#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
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

#include "log/activity_log.h"
#include "preview/preview_loader.h"
#include "steps/bitmap8.h"
#include "support/named_pipe.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;

class ScriptedDialogs : public Dialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget*, const QString& title, const QString& filter,
                                         const QString& suffix, const QString& directory) override {
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

  std::queue<QString> answers;  // an empty one cancels the dialog
  QStringList messages;
  QString asked_title, asked_filter, asked_suffix, asked_directory;
  QString save_answer, asked_save;  // an empty answer cancels the save dialog
  std::vector<Verdict> verdicts;
  QStringList questions;
  bool confirm = true;
  QList<QUrl> opened_urls;
};

void WriteFile(const QString& path, const test::Bytes& bytes) { test::WriteBytes(path.toStdString(), bytes); }

// What the window does with a picture named on its command line.
enum CommandLineOutcome { kOpened, kImported, kRefused };

}  // namespace

class TForm1Test : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<TForm1> form_;

  QString Home() const { return dir_.path() + "/home"; }
  QString Picture(const QString& name, const test::BitmapRecipe& recipe = {}) {
    const QString path = dir_.path() + "/" + name;
    WriteFile(path, test::MakeBitmap(recipe));
    return path;
  }
  template <class T>
  T* Child(const char* name) const {
    return form_->findChild<T*>(QString::fromLatin1(name));
  }
  QString Status() const { return Child<QLabel>("StatusText")->text(); }
  QImage Preview() const { return Child<QLabel>("Image1")->pixmap().toImage(); }
  int OutputCount() const {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(Home().toStdString() + "/Output")) ++n;
    return n;
  }
  std::string LogText() const {
    const auto bytes = test::ReadBytes(Home().toStdString() + "/Log/KestroWelcomeScreen.log");
    return std::string(bytes.begin(), bytes.end());
  }
  void Click() { QTest::mouseClick(Child<QToolButton>("ButtonGo"), Qt::LeftButton); }
  static QSettings Settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "kestro-welcome", "kestro-welcome");
  }

 private slots:
  // The window's remembered choices go to a folder of the test's own.
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/settings");
  }

  void init() {
    QVERIFY(dir_.isValid());
    Settings().clear();
    dialogs_ = ScriptedDialogs();
    fs::remove_all(Home().toStdString());
    form_ = std::make_unique<TForm1>(&dialogs_, Home());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() {
    form_.reset();
    SetLogFilePath("");
  }

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
                                 QString::fromUtf8("Extract &picture from update image\u2026"),
                                 "Open O&utput folder", "Open I&nput folder", "C&lose picture", "E&xit"}));
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
    QCOMPARE(dialogs_.asked_filter, QStringLiteral("Windows Bitmap (*.bmp)"));
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
    QCOMPARE(Preview().convertToFormat(QImage::Format_RGB32),
             LoadPreviewImage(bitmap.toStdString(), nullptr).convertToFormat(QImage::Format_RGB32));
    QVERIFY(LogText().find("ImportPicture: In=" + path.toStdString() + ", Out=" + bitmap.toStdString()) !=
            std::string::npos);
    QVERIFY(dialogs_.messages.isEmpty());
    QVERIFY(QApplication::overrideCursor() == nullptr);

    Click();
    QCOMPARE(OutputCount(), 6);
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
        QVERIFY2(Status().startsWith(QStringLiteral("Imported ") + bitmap + QStringLiteral(": ")), qPrintable(Status()));
        break;
      case kRefused:
        QCOMPARE(dialogs_.messages.size(), 1);
        QVERIFY(dialogs_.messages[0].startsWith(QStringLiteral("Cannot read ") + path));
        QVERIFY(form_->RunDriver().OpenedPicture().empty());
        QVERIFY(fs::is_empty(Home().toStdString() + "/Input"));
        return;
    }
    QVERIFY(dialogs_.messages.isEmpty());
    QCOMPARE(Preview().convertToFormat(QImage::Format_RGB32),
             LoadPreviewImage(form_->RunDriver().OpenedPicture(), nullptr).convertToFormat(QImage::Format_RGB32));
  }

  void droppingABitmapOpensIt() {
    const QString path = Picture("dropped.bmp");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &drop);
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
    QCOMPARE(OutputCount(), 6);
    QCOMPARE(Status(), QStringLiteral("done! see log for details..."));
    QVERIFY(Child<QToolButton>("ButtonGo")->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void oneClickWithoutPictureRunsTheInputFolder() {
    const QString input = Home() + "/Input/";
    WriteFile(input + "a.bmp", test::MakeBitmap({.seed = 3}));
    WriteFile(input + "b.bmp", test::MakeBitmap({.seed = 8}));
    Click();
    QCOMPARE(OutputCount(), 12);
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
    QCOMPARE(OutputCount(), 0);
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
    QVERIFY(dialogs_.messages[0].endsWith(QStringLiteral("\nfault: file: format: expected a serial update image, USB "
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

  void exitClosesTheWindow() {
    form_->Exit1Click();
    QVERIFY(!form_->isVisible());
  }
};

}  // namespace kws

QTEST_MAIN(kws::TForm1Test)
#include "tform1_test.moc"
