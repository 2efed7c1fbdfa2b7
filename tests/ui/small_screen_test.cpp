// The main window on a screen smaller than its fixed layout: a 1366 x 768
// laptop screen at 125 % scaling (offscreen_small.json). The preview shrinks,
// keeping its proportions, so that the menu, the button and the status bar
// stay on the screen.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "ui/import_dialog.h"
#include "ui/log_panel.h"
#include "ui/tform1.h"

namespace kws {
namespace {

class NoDialogs : public Dialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget*, const QString&, const QString&, const QString&,
                                         const QString&) override {
    return std::nullopt;
  }
  void ShowMessage(QWidget*, const QString&, const QString&) override {}
  void OpenUrl(const QUrl&) override {}
};

}  // namespace

class SmallScreenTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  NoDialogs dialogs_;

  // Every part the user needs lies inside the screen's available area.
  static void VerifyOnScreen(TForm1& form) {
    const QRect screen = form.screen()->availableGeometry();
    QVERIFY2(screen.contains(form.frameGeometry()), qPrintable(QStringLiteral("%1x%2 in %3x%4")
                                                                   .arg(form.frameGeometry().width())
                                                                   .arg(form.frameGeometry().height())
                                                                   .arg(screen.width())
                                                                   .arg(screen.height())));
    for (QWidget* part : {static_cast<QWidget*>(form.menuBar()),
                          static_cast<QWidget*>(form.findChild<QToolButton*>(QStringLiteral("ButtonGo"))),
                          static_cast<QWidget*>(form.findChild<QStatusBar*>(QStringLiteral("StatusBar1")))}) {
      const QRect global(part->mapToGlobal(QPoint(0, 0)), part->size());
      QVERIFY2(screen.contains(global), qPrintable(part->objectName()));
    }
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path() + "/settings");
  }

  void thePreviewShrinksAndEverythingStaysOnTheScreen() {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.height() < 640, "the configured screen is not small");
    TForm1 form(&dialogs_, dir_.path() + "/home");
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    VerifyOnScreen(form);

    auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
    auto* panel = form.findChild<QWidget*>(QStringLiteral("Panel1"));
    auto* button = form.findChild<QToolButton*>(QStringLiteral("ButtonGo"));
    auto* status = form.findChild<QStatusBar*>(QStringLiteral("StatusBar1"));
    QVERIFY(image->height() < 576);
    // The proportions of 720 x 576, to the pixel.
    QVERIFY(std::abs(image->width() * 576 - image->height() * 720) <= 720);
    QVERIFY(image->hasScaledContents());
    // The picture itself is still the whole picture.
    QCOMPARE(image->pixmap().size(), QSize(720, 576));
    // The button beside the preview, the status bar below it, both whole.
    QCOMPARE(button->size(), QSize(145, 145));
    QVERIFY(button->x() >= panel->geometry().right());
    QVERIFY(button->geometry().bottom() <= panel->geometry().bottom());
    QCOMPARE(status->y(), panel->geometry().bottom() + 3);
    QCOMPARE(status->width(), form.centralWidget()->width());

    // As on a 4:3 TV: the TV's shape fitted into the smaller preview, never
    // stretched to the preview's own; back to Pixels, the whole picture again.
    form.findChild<QAction*>(QStringLiteral("ViewTv4x3"))->trigger();
    QVERIFY(!image->hasScaledContents());
    const QSize tv = image->pixmap().size();
    QCOMPARE(tv.width(), image->width());
    QVERIFY2(std::abs(tv.width() * 3 - tv.height() * 4) <= 4,
             qPrintable(QStringLiteral("%1x%2").arg(tv.width()).arg(tv.height())));
    form.findChild<QAction*>(QStringLiteral("ViewPixels"))->trigger();
    QVERIFY(image->hasScaledContents());
    QCOMPARE(image->pixmap().size(), QSize(720, 576));

    // The log panel takes its room from the preview too.
    const int before = image->height();
    form.ActivityLog()->show();
    QTRY_VERIFY(image->height() < before);
    VerifyOnScreen(form);
    form.ActivityLog()->hide();
    QTRY_COMPARE(image->height(), before);
  }

  // The import dialog, with the room its report is given from the start,
  // fits the screen before and after the report arrives.
  void theImportDialogFitsTheScreen() {
    const QString path = dir_.path() + "/photo.png";
    QImage photo(640, 480, QImage::Format_RGB32);
    photo.fill(QColor(40, 90, 160));
    QVERIFY(photo.save(path));
    TForm1 form(&dialogs_, dir_.path() + "/home");
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    ImportDialog dialog(path, TvImportOptions(Display::k4x3, SafeArea::kNone), &form);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect screen = dialog.screen()->availableGeometry();
    const QSize shown = dialog.frameGeometry().size();
    QVERIFY2(shown.width() <= screen.width() && shown.height() <= screen.height(),
             qPrintable(QStringLiteral("%1x%2 on %3x%4")
                            .arg(shown.width())
                            .arg(shown.height())
                            .arg(screen.width())
                            .arg(screen.height())));
    QTRY_VERIFY_WITH_TIMEOUT(dialog.PreviewCurrent(), 120000);
    QApplication::processEvents();
    QCOMPARE(dialog.frameGeometry().size(), shown);
  }
};

}  // namespace kws

QTEST_MAIN(kws::SmallScreenTest)
#include "small_screen_test.moc"
