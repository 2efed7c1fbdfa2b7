// What the window shows is what is made and where it is: the import's
// preview is the bitmap written as the TV shows it, the main view follows the
// TV a picture was made for, a picture the pipeline does not take is offered
// to the import, the status fields never contradict each other nor cut a
// word, buttons do not swap places under the pointer, and the window's frame
// stays on the screen. On Qt's offscreen platform; conditions are waited on,
// never fixed sleeps.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <functional>
#include <queue>

#include "log/activity_log.h"
#include "picture/tv_preview.h"
#include "steps/bitmap8.h"
#include "support/photo_like.h"
#include "support/test_support.h"
#include "ui/eliding_label.h"
#include "ui/import_dialog.h"
#include "ui/log_panel.h"
#include "ui/tform1.h"
#include "ui/window_fit.h"
#include "ui/window_fixture.h"

namespace kws {
namespace {

namespace fs = std::filesystem;

// The dialogs answer at once; the import's dialog is the real one, worked
// here, when a test asks for it.
class ScriptedDialogs : public Dialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget*, const QString&, const QString& filter, const QString&,
                                         const QString&) override {
    asked_filter = filter;
    if (answers.empty()) return std::nullopt;
    const QString answer = answers.front();
    answers.pop();
    return answer;
  }
  void ShowMessage(QWidget*, const QString&, const QString& text) override { messages << text; }
  void OpenUrl(const QUrl& url) override { opened_urls << url; }
  std::optional<ImportChoice> GetImport(QWidget*, const QString& picture, const ImportOptions& options) override {
    asked_import << picture;
    if (import_dialog) return import_dialog(picture, options);
    if (!import_options) return std::nullopt;  // Cancel
    return ImportChoice{*import_options, std::nullopt};
  }

  std::queue<QString> answers;
  QString asked_filter;
  QStringList messages;
  QList<QUrl> opened_urls;
  QStringList asked_import;
  // The import dialog's answer: these options, or Cancel when empty.
  std::optional<ImportOptions> import_options;
  std::function<std::optional<ImportChoice>(const QString&, const ImportOptions&)> import_dialog;
};

// A photo that needs more than a few colours: dithering shows in it.
QString Photo(const QString& path, int width, int height) {
  MakePhotoLike({.width = width, .height = height, .grain = 2.0, .seed = 3}).save(path);
  return path;
}

ImportOptions ForTv(Display display) { return TvImportOptions(display, SafeArea::kNone); }

}  // namespace

class WindowBehaviourTest : public QObject, public test::WindowTestCase<ScriptedDialogs> {
  Q_OBJECT

 private:
  QString Shown(const char* label) const { return static_cast<ElidingLabel*>(Child<QLabel>(label))->ShownText(); }
  QAction* ViewAction(const char* name) const { return Child<QAction>(name); }
  QImage PreviewRgb() const {
    return Child<QLabel>("Image1")->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
  }
  // A bitmap the pipeline takes, in Input.
  void InputBitmaps(std::initializer_list<const char*> names) {
    for (const char* name : names) test::WriteBytes(Home().toStdString() + "/Input/" + name, test::MakeBitmap());
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

  // ---- Every preview is true to the TV ----

  void importPreviewIsTheBitmapWrittenAsTheTvShowsIt_data() {
    QTest::addColumn<int>("display");
    QTest::addColumn<QSize>("shown");  // the whole TV picture, fitted into the dialog's preview
    QTest::newRow("4:3") << int(Display::k4x3) << QSize(512, 384);
    QTest::newRow("16:9") << int(Display::k16x9) << QSize(512, 288);
    QTest::newRow("square") << int(Display::kSquare) << QSize(480, 384);
  }

  void importPreviewIsTheBitmapWrittenAsTheTvShowsIt() {
    QFETCH(int, display);
    QFETCH(QSize, shown);
    const QString path = Photo(dir_.path() + "/photo.png", 480, 360);
    QImage tv, on_screen;
    QString caption;
    dialogs_.import_dialog = [&](const QString& picture, const ImportOptions& options) -> std::optional<ImportChoice> {
      ImportDialog dialog(picture, options, form_.get());
      dialog.SetDisplay(Display(display));
      if (!QTest::qWaitFor([&] { return dialog.PreviewCurrent(); }, 120000)) return std::nullopt;
      tv = dialog.TvPreviewImage();
      on_screen = dialog.ShownPreview();
      caption = dialog.PreviewCaption();
      return dialog.Choice();
    };
    form_->ImportWithOptions(path);
    const std::optional<Picture8> written = ReadConvertibleBitmap((Home() + "/Input/photo.bmp").toStdString());
    QVERIFY(written);
    TvPreviewOptions options;
    options.display = Display(display);
    options.guides = true;
    QCOMPARE(tv, RenderTvPreview(*written, options));
    QCOMPARE(on_screen.size(), shown);
    QCOMPARE(on_screen.convertToFormat(QImage::Format_RGB32),
             tv.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32));
    QVERIFY2(caption.startsWith(QStringLiteral("The bitmap Import writes")), qPrintable(caption));
  }

  // While a new choice is imported, what the preview shows is said to be the
  // earlier one; OK then leaves the making to the import itself.
  void importPreviewWhileImportingIsMarkedAsAnApproximation() {
    const QString path = Photo(dir_.path() + "/photo.png", 480, 360);
    ImportDialog dialog(path, ForTv(Display::k4x3), form_.get());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 120000);
    QVERIFY(dialog.Choice().imported);
    dialog.SetDisplay(Display::k16x9);
    QVERIFY(!dialog.PreviewCurrent());
    QVERIFY2(dialog.PreviewCaption().startsWith(QStringLiteral("Approximation")), qPrintable(dialog.PreviewCaption()));
    QVERIFY(!dialog.Choice().imported);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 120000);
    QVERIFY(dialog.PreviewCaption().contains(QStringLiteral("16:9 TV")));
    QVERIFY(dialog.Choice().imported);
  }

  // The dithering chosen in the dialog: offered as the command line's four,
  // followed by the preview and its report, remembered for the next dialog,
  // and what Import writes.
  void theDitheringChosenInTheDialogReachesTheBitmap_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("reason");
    QTest::newRow("none") << int(DitherKind::kNone) << "None"
                          << "no dithering: as asked";
    QTest::newRow("selective") << int(DitherKind::kSelective) << "Selective: only where smooth"
                               << "selective dithering: as asked";
  }

  void theDitheringChosenInTheDialogReachesTheBitmap() {
    QFETCH(int, kind);
    QFETCH(QString, item);
    QFETCH(QString, reason);
    const QString path = Photo(dir_.path() + "/photo.png", 480, 360);
    QStringList items, started;
    QString info;
    dialogs_.import_dialog = [&](const QString& picture, const ImportOptions& options) -> std::optional<ImportChoice> {
      ImportDialog dialog(picture, options, form_.get());
      auto* box = dialog.findChild<QComboBox*>("DitherBox");
      items.clear();
      for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
      started << box->currentText();
      box->setCurrentIndex(box->findText(item));
      if (!QTest::qWaitFor([&] { return dialog.PreviewCurrent(); }, 120000)) return std::nullopt;
      info = dialog.Info();
      return dialog.Choice();
    };
    form_->ImportWithOptions(path);
    QCOMPARE(items, (QStringList{"Auto: closest as seen, plain PSNR kept", "Seen: closest as seen, however grainy",
                                 "Selective: only where smooth", "None"}));
    QVERIFY2(info.contains(QStringLiteral("Dither:  ") + reason), qPrintable(info));
    ImportOptions options = ForTv(Display::k4x3);
    options.dither = DitherKind(kind);
    const ImportedPicture expected = ImportPicture(path.toStdString(), options);
    const std::optional<Picture8> written = ReadConvertibleBitmap((Home() + "/Input/photo.bmp").toStdString());
    QVERIFY(written);
    QVERIFY(written->pixels == expected.picture.pixels);
    QVERIFY(written->palette == expected.picture.palette);
    // The next dialog starts from it.
    form_->ImportWithOptions(path);
    QCOMPARE(started, (QStringList{"Auto: closest as seen, plain PSNR kept", item}));
  }

  // The quick look shown while the import runs: the picture placed as the
  // import places it, before its colours are reduced.
  void theApproximationIsThePicturePlacedAsTheImportPlacesIt() {
    QImage photo(640, 360, QImage::Format_RGB32);
    photo.fill(QColor(40, 90, 160));
    const QString path = dir_.path() + "/flat.png";
    QVERIFY(photo.save(path));
    ImportOptions options = ForTv(Display::k4x3);
    options.background = {0, 200, 0};
    const QImage placed = PlacedPicture(path.toStdString(), options);
    const ImportedPicture imported = ImportPicture(path.toStdString(), options);
    QCOMPARE(placed.size(), QSize(720, 576));
    for (const QPoint at : {QPoint(0, 0), QPoint(360, 288), QPoint(719, 575), QPoint(360, 60)}) {
      const Rgb made = imported.picture.palette[imported.picture.pixels[at.y() * 720 + at.x()]];
      QCOMPARE(placed.pixelColor(at), QColor(made.r, made.g, made.b));
    }
  }

  void mainViewFollowsTheTvAPictureIsImportedFor_data() {
    QTest::addColumn<int>("display");
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QSize>("size");
    QTest::newRow("4:3") << int(Display::k4x3) << QByteArray("ViewTv4x3") << QSize(720, 540);
    QTest::newRow("16:9") << int(Display::k16x9) << QByteArray("ViewTv16x9") << QSize(720, 405);
    QTest::newRow("square") << int(Display::kSquare) << QByteArray("ViewPixels") << QSize(720, 576);
  }

  void mainViewFollowsTheTvAPictureIsImportedFor() {
    QFETCH(int, display);
    QFETCH(QByteArray, action);
    QFETCH(QSize, size);
    // At first start the receiver's pixels, as ever.
    QVERIFY(ViewAction("ViewPixels")->isChecked());
    if (Display(display) == Display::kSquare) ViewAction("ViewTv16x9")->trigger();
    dialogs_.import_options = ForTv(Display(display));
    form_->ImportWithOptions(Photo(dir_.path() + "/wide.png", 640, 360));
    QVERIFY(ViewAction(action.constData())->isChecked());
    QCOMPARE(Child<QLabel>("Image1")->pixmap().size(), size);
    // And in the next window too.
    form_ = std::make_unique<TForm1>(&dialogs_, Home());
    QVERIFY(ViewAction(action.constData())->isChecked());
  }

  // "Open with": the import's dialog, filled in with the options last
  // chosen; Cancel there imports nothing.
  void openWithShowsTheImportDialog() {
    Settings().setValue("import/display", "16:9");
    const QString path = Photo(dir_.path() + "/holiday.jpg", 320, 200);
    dialogs_.import_dialog = [&](const QString&, const ImportOptions& options) -> std::optional<ImportChoice> {
      if (options.display != Display::k16x9) return std::nullopt;
      return ImportChoice{options, std::nullopt};
    };
    form_->OpenFromCommandLine(path);
    QCOMPARE(dialogs_.asked_import, QStringList{path});
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), Home() + "/Input/holiday.bmp");
    QVERIFY(ViewAction("ViewTv16x9")->isChecked());

    dialogs_.import_dialog = nullptr;  // Cancel
    const QString other = Photo(dir_.path() + "/other.png", 320, 200);
    form_->OpenFromCommandLine(other);
    QCOMPARE(dialogs_.asked_import, (QStringList{path, other}));
    QVERIFY(!fs::exists(Home().toStdString() + "/Input/other.bmp"));
    QCOMPARE(QString::fromStdString(form_->RunDriver().OpenedPicture()), Home() + "/Input/holiday.bmp");
  }

  // ---- File > Open ----

  void openOffersTheImportForAPictureThePipelineDoesNotTake_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");  // empty: the pipeline's bitmap; "text": no picture
    QTest::addColumn<bool>("offered");
    QTest::newRow("JPEG") << "photo.jpg" << QByteArray("JPEG") << true;
    QTest::newRow("PNG") << "photo.png" << QByteArray("PNG") << true;
    QTest::newRow("24-bit bitmap") << "photo.bmp" << QByteArray("BMP") << true;
    QTest::newRow("the pipeline's bitmap") << "logo.bmp" << QByteArray() << false;
    QTest::newRow("no picture") << "notes.bmp" << QByteArray("text") << false;
  }

  void openOffersTheImportForAPictureThePipelineDoesNotTake() {
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, offered);
    const QString path = dir_.path() + "/" + name;
    if (format.isEmpty()) {
      test::WriteBytes(path.toStdString(), test::MakeBitmap());
    } else if (format == "text") {
      test::WriteBytes(path.toStdString(), test::ToBytes("plain text"));
    } else {
      QVERIFY(MakePhotoLike({.width = 320, .height = 200}).save(path, format.constData()));
    }
    dialogs_.answers.push(path);
    dialogs_.import_options = ForTv(Display::k4x3);
    form_->Open1Click();
    // The bitmap's filter first, the default; then every picture the import reads.
    const QStringList filters = dialogs_.asked_filter.split(QStringLiteral(";;"));
    QCOMPARE(filters.size(), 2);
    QCOMPARE(filters[0], QStringLiteral("Windows Bitmap (*.bmp)"));
    for (const char* pattern : {"*.jpg", "*.jpeg", "*.png", "*.bmp", "*.gif"}) {
      QVERIFY2(filters[1].startsWith(QStringLiteral("Pictures (")) && filters[1].contains(pattern),
               qPrintable(filters[1]));
    }
    QCOMPARE(dialogs_.asked_import, offered ? QStringList{path} : QStringList());
    const QString opened = QString::fromStdString(form_->RunDriver().OpenedPicture());
    // Beside the picture; a bitmap of another kind stays, the import taking
    // a free name.
    const QString beside = dir_.path() + (format == "BMP" ? "/photo-1.bmp" : "/photo.bmp");
    QCOMPARE(opened, offered ? beside : path);
    if (offered) QVERIFY(ReadConvertibleBitmap(opened.toStdString()));
  }

  // ---- One clear message ----

  // Cancel ends a batch early: the status line does not say the files ran
  // out beside the count of those made; a batch run to its end still does.
  void cancelledBatchSaysSoOnBothFields() {
    InputBitmaps({"a.bmp", "b.bmp", "c.bmp"});
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      auto* cancel = Child<QToolButton>("CancelButton");
      if (Outcome() == QStringLiteral("2 of 3: b.bmp") && cancel->isVisible() && cancel->isEnabled()) cancel->click();
    });
    watch.start(0);
    Click();
    watch.stop();
    QCOMPARE(Outcome(), QStringLiteral("2 of 3 pictures made, stopped by the user"));
    QCOMPARE(Status(), QStringLiteral("stopped by the user! see log for details..."));
    Click();
    QCOMPARE(Status(), QStringLiteral("no more files to process! see log for details..."));
    QCOMPARE(Outcome(), QStringLiteral("3 of 3 pictures made"));
  }

  void onlyThePathOfATextIsElided_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("path");  // the part that may lose characters; empty: none
    QTest::newRow("a path alone") << "/srv/pictures/a very long folder name/another one/logo.bmp"
                                  << "/srv/pictures/a very long folder name/another one/logo.bmp";
    QTest::newRow("a path in words") << "No picture opened: the button converts the 3 bitmaps in Input "
                                        "(/home/ann/kestro welcome screen/portable/Input)"
                                     << "/home/ann/kestro welcome screen/portable/Input";
    QTest::newRow("a path before a summary")
        << "Imported /home/ann/kestro welcome screen/Input/holiday.bmp: 256 colours, dithering 0.8"
        << "/home/ann/kestro welcome screen/Input/holiday.bmp";
    QTest::newRow("words only") << "no more files to process! see log for details..."
                                << "";
    QTest::newRow("a name is no path") << "failed: logo24.bmp \u2014 bit depth 24, needs 8 (File \u25B8 Import "
                                          "picture\u2026 converts it)"
                                       << "";
  }

  // At every width: the whole text, or its path shortened in the middle with
  // every word around it whole, or whole words ending in "…".
  void onlyThePathOfATextIsElided() {
    QFETCH(QString, text);
    QFETCH(QString, path);
    const QFontMetrics metrics(QApplication::font());
    const auto [first, end] = PathSpan(text);
    QCOMPARE(text.mid(first, end - first), path);
    const QString ellipsis = QStringLiteral("\u2026");
    const QString before = text.left(first), after = text.mid(end);
    for (int width = metrics.horizontalAdvance(text) + 10; width > 0; width -= 7) {
      const QString fitted = FitText(text, metrics, width);
      const QString why = QStringLiteral("%1 px: %2").arg(width).arg(fitted);
      QVERIFY2(fitted == ellipsis || metrics.horizontalAdvance(fitted) <= width, qPrintable(why));
      if (fitted == text) continue;
      const bool path_elided = !path.isEmpty() && fitted.startsWith(before) && fitted.endsWith(after) &&
                               fitted.mid(first, fitted.size() - first - after.size()).contains(ellipsis);
      const bool words_cut =
          fitted.endsWith(ellipsis) && (fitted == ellipsis || text.startsWith(fitted.chopped(1) + QLatin1Char(' ')));
      QVERIFY2(path_elided || words_cut, qPrintable(why));
      if (!path.isEmpty() && width >= ReadableWidth(text, metrics)) QVERIFY2(path_elided, qPrintable(why));
    }
  }

  // In the window: a long path on the status line keeps its name and the
  // second field's words; the bar keeps its height; tooltips hold it all.
  void theStatusBarShowsWholeWordsAndShortensPaths() {
    const QString folder = dir_.path() +
                           "/a folder with a long name/and another long one/and a third that is longer still/"
                           "and a fourth to pass the width of any status bar/pictures";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/logo.bmp";
    test::WriteBytes(path.toStdString(), test::MakeBitmap());
    form_->OpenPicture(path);
    Child<QAction>("TestCard1")->trigger();
    const QString card = Home() + "/test-card.bmp";
    QCOMPARE(Status(), card);
    // The test card's instructions, whole.
    QTRY_COMPARE(Shown("OutcomeText"), Outcome());
    QVERIFY(Outcome().startsWith(QStringLiteral("test card: flash it")));
    form_->OpenPicture(path);
    InputBitmaps({"a.bmp"});
    form_->ClosePicture1Click();
    QVERIFY(Outcome().startsWith(QStringLiteral("No picture opened")));
    form_->OpenPicture(path);
    QTRY_VERIFY(Shown("StatusText") != path);
    const QString shown = Shown("StatusText");
    QVERIFY2(shown != path && shown.endsWith(QStringLiteral("/logo.bmp")) && shown.contains(QStringLiteral("\u2026")),
             qPrintable(shown));
    QVERIFY(Child<QLabel>("StatusText")->toolTip().contains(path));
    QCOMPARE(Child<QStatusBar>("StatusBar1")->height(), 19);
    // Whatever the window's fields say, nothing but a path loses characters.
    Click();
    QCOMPARE(Status(), QStringLiteral("done! see log for details..."));
    QTRY_COMPARE(Shown("StatusText"), Status());
    QTRY_COMPARE(Shown("OutcomeText"), Outcome());
    QCOMPARE(Child<QStatusBar>("StatusBar1")->height(), 19);
  }

  // ---- Nothing moves under the pointer ----

  // Where Cancel was while the batch ran, Open folder never shows when it
  // ends: a late click there opens nothing.
  void openFolderNeverTakesCancelsPlace() {
    InputBitmaps({"a.bmp", "b.bmp"});
    auto* cancel = Child<QToolButton>("CancelButton");
    auto* open_folder = Child<QToolButton>("OpenFolderButton");
    QStatusBar* bar = Child<QStatusBar>("StatusBar1");
    const auto in_bar = [bar](QWidget* w) { return QRect(w->mapTo(bar, QPoint(0, 0)), w->size()); };
    QRect cancel_place;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
      if (cancel->isVisible()) cancel_place = in_bar(cancel);
    });
    watch.start(0);
    Click();
    watch.stop();
    QVERIFY(cancel_place.isValid());
    QCOMPARE(Outcome(), QStringLiteral("2 of 2 pictures made"));
    QVERIFY(open_folder->isVisible());
    QApplication::processEvents();
    QVERIFY2(
        !in_bar(open_folder).intersects(cancel_place),
        qPrintable(
            QStringLiteral("Open folder at %1, Cancel was at %2").arg(in_bar(open_folder).x()).arg(cancel_place.x())));
    // A click where Cancel was hits nothing that acts.
    QWidget* under = bar->childAt(cancel_place.center());
    QVERIFY(under != open_folder);
    QTest::mouseClick(bar, Qt::LeftButton, {}, cancel_place.center());
    QVERIFY(dialogs_.opened_urls.isEmpty());
    // Once the window says something else, the place is given up.
    QVERIFY(Child<QWidget>("RunButtons")->sizeHint().width() > 0);
    form_->ClosePicture1Click();
    QCOMPARE(Child<QWidget>("RunButtons")->sizeHint().width(), 0);
  }

  // ---- On screen ----

  void theFrameIsKeptOnTheScreen_data() {
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("placed");
    const QRect laptop(0, 0, 1366, 738);
    QTest::newRow("inside stays") << QRect(100, 50, 900, 650) << laptop << QRect(100, 50, 900, 650);
    QTest::newRow("grown past the bottom") << QRect(200, 100, 900, 700) << laptop << QRect(200, 38, 900, 700);
    QTest::newRow("taller than the screen: title bar on it")
        << QRect(200, 100, 900, 800) << laptop << QRect(200, 0, 900, 800);
    QTest::newRow("above the top") << QRect(200, -30, 900, 600) << laptop << QRect(200, 0, 900, 600);
    QTest::newRow("past the right") << QRect(700, 10, 900, 600) << laptop << QRect(466, 10, 900, 600);
    QTest::newRow("wider than the screen: left edge on it")
        << QRect(-50, 10, 1500, 600) << laptop << QRect(0, 10, 1500, 600);
    QTest::newRow("a panel at the top") << QRect(100, 10, 900, 600) << QRect(0, 28, 1366, 740)
                                        << QRect(100, 28, 900, 600);
  }

  void theFrameIsKeptOnTheScreen() {
    QFETCH(QRect, frame);
    QFETCH(QRect, available);
    QFETCH(QRect, placed);
    QCOMPARE(KeepOnScreen(frame, available), placed);
  }

  // With the log panel open, the window at its scale fits the screen's
  // height: at 1366 x 768, at 1x and at 1.25x (1093 x 614 device-independent).
  void theWindowWithItsPanelFitsTheScreen_data() {
    QTest::addColumn<QRect>("available");
    QTest::newRow("1366x768") << QRect(0, 0, 1366, 738);
    QTest::newRow("1366x768 at 1.25") << QRect(0, 0, 1093, 590);
    QTest::newRow("1920x1080") << QRect(0, 0, 1920, 1050);
  }

  void theWindowWithItsPanelFitsTheScreen() {
    QFETCH(QRect, available);
    const WindowRoom room{QSize(8, 36), 22, 215};
    const double scale = PreviewScale(available, room);
    QVERIFY(scale > 0.3 && scale <= 1.0);
    const int height = room.frame.height() + room.menu + room.panel + 33 + static_cast<int>(std::lround(576 * scale));
    QVERIFY2(height <= available.height(), qPrintable(QString::number(height)));
    const QRect frame(0, available.bottom() - 100, 892, height);
    QCOMPARE(KeepOnScreen(frame, available).top(), available.bottom() - height + 1);
  }

  // The window itself: opening the panel keeps its frame on the screen.
  void openingTheLogPanelKeepsTheWindowOnTheScreen() {
    form_->move(form_->x(), form_->screen()->availableGeometry().bottom() - form_->frameGeometry().height());
    form_->ActivityLog()->show();
    QTRY_VERIFY(form_->ActivityLog()->isVisible());
    QApplication::processEvents();
    const QRect screen = form_->screen()->availableGeometry();
    QVERIFY2(screen.contains(form_->frameGeometry()), qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                                                     .arg(form_->frameGeometry().x())
                                                                     .arg(form_->frameGeometry().y())
                                                                     .arg(form_->frameGeometry().width())
                                                                     .arg(form_->frameGeometry().height())));
  }
};

}  // namespace kws

QTEST_MAIN(kws::WindowBehaviourTest)
#include "window_behaviour_test.moc"
