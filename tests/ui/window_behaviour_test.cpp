// What the window shows is what is made and where it is: the main preview is
// the picture the images hold, the import's preview is the bitmap written as
// the TV shows it, the main view follows the TV a picture was made for, a
// picture the pipeline does not take is offered to the import, the status
// fields never contradict each other nor cut a word, buttons do not move
// under the pointer, and the window's frame stays on the screen. On Qt's offscreen platform; conditions are waited on,
// never fixed sleeps.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMap>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <queue>

#include "fit/bitmap_file.h"
#include "format/byte_order.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "picture/tv_preview.h"
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

// A palette picture's colours, pixel by pixel.
QImage RgbImage(const Picture8& picture) {
  QImage image(picture.width, picture.height, QImage::Format_RGB32);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t index = picture.pixels[static_cast<size_t>(y) * picture.width + x];
      const Rgb c = index < picture.palette.size() ? picture.palette[index] : Rgb{};
      image.setPixel(x, y, qRgb(c.r, c.g, c.b));
    }
  }
  return image;
}

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

  // The main preview of an opened bitmap is the picture its images hold (as
  // the inspector extracts it), also where Qt's own reading of the file shows
  // something else: a pixel offset past the end shows it one flat colour.
  void mainPreviewIsThePictureInTheImages_data() {
    QTest::addColumn<uint32_t>("pixel_offset");  // 0: as the bitmap is written
    QTest::newRow("the pipeline's bitmap") << 0u;
    QTest::newRow("pixel offset far past the end") << 0x7FFFFFFFu;
    QTest::newRow("pixel offset just past the end") << uint32_t(54 + 4 * 256 + 720 * 576);
  }

  void mainPreviewIsThePictureInTheImages() {
    QFETCH(uint32_t, pixel_offset);
    test::Bytes bitmap = test::MakeBitmap({.seed = 7});
    if (pixel_offset != 0) PutLE32(&bitmap[10], pixel_offset);
    const QString path = dir_.path() + "/logo.bmp";
    test::WriteBytes(path.toStdString(), bitmap);
    form_->OpenPicture(path);
    QCOMPARE(Status(), path);
    Click();
    QCOMPARE(Status(), QStringLiteral("done! see log for details..."));
    const InspectReport made = InspectFile((Home() + "/Output/logo_kestro400_serial_welcome.img").toStdString());
    QVERIFY(made.picture);
    QCOMPARE(PreviewRgb(), RgbImage(*made.picture));
  }

  // An SVG too costly to draw is refused in the dialog in the tool's words
  // before anything draws it. One whose cost shows only while it draws (its
  // dashes and width come from entities) leaves the window responsive, a timer firing
  // on, and closing the dialog ends its drawing at once rather than at the
  // drawing's limits.
  void importDialogRefusesCostlySvgsAndCancelEndsADrawing() {
    std::string points;
    for (int i = 0; i < 2000; ++i)
      points += std::to_string(i * 7919 % 720) + "," + std::to_string(i * 104729 % 576) + " ";
    const auto svg = [&](const std::string& prolog, const std::string& stroke) {
      return test::ToBytes(prolog +
                           "<svg xmlns='http://www.w3.org/2000/svg' width='720' height='576'><polyline "
                           "fill='none' stroke='red' " +
                           stroke + " points='" + points + "'/></svg>");
    };
    const QString dashed = dir_.path() + "/dashed.svg", hidden = dir_.path() + "/hidden.svg";
    test::WriteBytes(dashed.toStdString(), svg("", "stroke-width='20' stroke-dasharray='1 1'"));
    test::WriteBytes(hidden.toStdString(),
                     svg("<?xml version='1.0'?><!DOCTYPE svg [<!ENTITY d '1 1'><!ENTITY w '20'>]>",
                         "stroke-width='&w;' stroke-dasharray='&d;'"));
    {
      ImportDialog dialog(dashed, ImportOptions{}, form_.get());
      QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 60000);
      QVERIFY2(dialog.Info().contains(QStringLiteral("this drawing is too complex to draw here (")) &&
                   dialog.Info().contains(QStringLiteral(" dashes); simplify it or export it as a PNG")),
               qPrintable(dialog.Info()));
    }
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
    timer.start(20);
    auto dialog = std::make_unique<ImportDialog>(hidden, ImportOptions{}, form_.get());
    dialog->show();
    QVERIFY(QTest::qWaitFor([&] { return ticks >= 25; }, 20000));
    QVERIFY(!dialog->PreviewCurrent());
    dialog->reject();
    dialog.reset();
    // The drawing would take seconds of CPU more; cancelled, the import's
    // threads are free at once.
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
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

  // A run that ends in errors fills in the second field, shows Open folder
  // and Cancel as it goes, and opens the log panel: the one-click button,
  // the status bar and its buttons stay where they were shown. Where the
  // window has no room below it for the panel, the panel stays closed.
  void aRunEndingInErrorsMovesNoButton_data() {
    QTest::addColumn<bool>("batch");  // else the opened picture
    QTest::addColumn<bool>("at_bottom");
    QTest::newRow("opened picture, room below") << false << false;
    QTest::newRow("opened picture, at the screen's bottom") << false << true;
    QTest::newRow("batch, room below") << true << false;
    QTest::newRow("batch, at the screen's bottom") << true << true;
  }

  void aRunEndingInErrorsMovesNoButton() {
    QFETCH(bool, batch);
    QFETCH(bool, at_bottom);
    const QRect screen = form_->screen()->availableGeometry();
    form_->move(form_->x(), at_bottom ? screen.bottom() + 1 - form_->frameGeometry().height() : screen.top());
    QApplication::processEvents();
    const std::string input = Home().toStdString() + "/Input/";
    if (batch) {
      InputBitmaps({"a.bmp", "c.bmp"});
      test::WriteBytes(input + "b.bmp", test::MakeBitmap({.bit_count = 24}));
    } else {
      const QString path = dir_.path() + "/logo24.bmp";
      test::WriteBytes(path.toStdString(), test::MakeBitmap({.bit_count = 24}));
      form_->OpenPicture(path);
    }
    // Every place each part was seen at while it showed.
    QMap<QString, QSet<QString>> seen;
    const auto look =
        [&] {
          for (const char* name : {"ButtonGo", "StatusBar1", "CancelButton", "OpenFolderButton"}) {
            const QWidget* part = Child<QWidget>(name);
            if (!part->isVisible()) continue;
            const QRect place(part->mapToGlobal(QPoint(0, 0)), part->size());
            seen[QString::fromLatin1(name)]
                << QStringLiteral("%1,%2 %3x%4").arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height());
          }
        };
    look();
    QTimer watch;
    connect(&watch, &QTimer::timeout, look);
    watch.start(0);
    Click();
    watch.stop();
    QApplication::processEvents();
    look();
    QVERIFY(Status().startsWith(batch ? QStringLiteral("no more files") : QStringLiteral("done with errors")));
    if (batch) QVERIFY(seen.contains(QStringLiteral("CancelButton")));
    for (auto part = seen.cbegin(); part != seen.cend(); ++part) {
      QVERIFY2(part.value().size() == 1,
               qPrintable(part.key() + QStringLiteral(": ") + part.value().values().join(QStringLiteral("; "))));
    }
    QCOMPARE(form_->ActivityLog()->isVisible(), !at_bottom);
  }

  // The import's report arrives a moment after its dialog shows, and again
  // with every change of the options: Import and Cancel stay where they were
  // shown, whatever the report says.
  void importDialogButtonsStayWhenTheReportArrives_data() {
    QTest::addColumn<QSize>("size");  // of the photo; empty: a file that is no picture
    QTest::addColumn<double>("grain");
    QTest::addColumn<bool>("caption");
    QTest::newRow("a noisy photo, fitted and smoothed") << QSize(720, 576) << 14.0 << false;
    QTest::newRow("a small photo scaled up, with warnings") << QSize(160, 120) << 6.0 << false;
    QTest::newRow("a photo with a caption on a band") << QSize(1600, 900) << 2.0 << true;
    QTest::newRow("a file that cannot be imported") << QSize() << 0.0 << false;
  }

  void importDialogButtonsStayWhenTheReportArrives() {
    QFETCH(QSize, size);
    QFETCH(double, grain);
    QFETCH(bool, caption);
    QString path = dir_.path() + "/photo.png";
    if (size.isEmpty()) {
      path = dir_.path() + "/a picture whose name is long enough to be the widest line of any report.png";
      test::WriteBytes(path.toStdString(), test::ToBytes("plain text, no picture"));
    } else {
      QVERIFY(MakePhotoLike({.width = size.width(), .height = size.height(), .grain = grain, .seed = 5}).save(path));
    }
    ImportOptions options = TvImportOptions(Display::k16x9, SafeArea::kTitle);
    if (caption) options.caption = Caption{.text = "Welcome to the Kestro receiver", .band = true};
    ImportDialog dialog(path, options, form_.get());
    const auto places = [&dialog] {
      QList<QRect> rects;
      for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        rects << QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
      }
      return rects;
    };
    dialog.show();
    const QList<QRect> shown = places();
    QCOMPARE(shown.size(), 2);
    QVERIFY(!dialog.PreviewCurrent());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 120000);
    QVERIFY(dialog.Info() != QStringLiteral("Importing\u2026"));
    QApplication::processEvents();
    QCOMPARE(places(), shown);
    // Why nothing can be imported is read whole, wrapped, not scrolled to.
    if (size.isEmpty()) {
      QVERIFY(!dialog.findChild<QScrollArea*>(QStringLiteral("ImportInfoRoom"))->horizontalScrollBar()->isVisible());
    }
    // And once more with other options, the report of the new ones arriving.
    dialog.SetDisplay(Display::k4x3);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 120000);
    QApplication::processEvents();
    QCOMPARE(places(), shown);
  }

  // The Check verdict's details show below its buttons when asked for: OK
  // and the details button stay where they were.
  void checkVerdictButtonsStayWhenItsDetailsShow_data() {
    QTest::addColumn<QString>("headline");
    QTest::addColumn<int>("lines");  // of details, each a long one
    QTest::newRow("sound, short details")
        << QString::fromUtf8("Sound: USB update image for kestro400 \u2014 safe to flash") << 3;
    QTest::newRow("damaged, many long details")
        << QString::fromUtf8("Damaged \u2014 do not flash: the welcome header's image CRC does not match") << 40;
    QTest::newRow("a one-word headline") << "Damaged" << 12;
  }

  void checkVerdictButtonsStayWhenItsDetailsShow() {
    QFETCH(QString, headline);
    QFETCH(int, lines);
    Verdict verdict{Verdict::Kind::kDamaged, headline, QString()};
    for (int line = 0; line < lines; ++line) {
      verdict.details += QStringLiteral(
                             "line %1 of the inspector's report, long enough to be wider than the box "
                             "that shows the headline alone, as a path or a fault can be\n")
                             .arg(line);
    }
    QList<QRect> shown, with_details;
    bool details_shown = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      const auto places = [box] {
        QList<QRect> rects;
        for (QPushButton* button : box->findChildren<QPushButton*>()) {
          rects << QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
        }
        return rects;
      };
      shown = places();
      for (QPushButton* button : box->findChildren<QPushButton*>()) {
        if (button->text().startsWith(QStringLiteral("Show Details"))) button->click();
      }
      QApplication::processEvents();
      details_shown = box->findChild<QTextEdit*>()->isVisible();
      with_details = places();
      box->accept();
    });
    QtDialogs().ShowVerdict(form_.get(), QStringLiteral("Check update image"), verdict);
    QCOMPARE(shown.size(), 2);
    QVERIFY(details_shown);
    QCOMPARE(with_details, shown);
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
