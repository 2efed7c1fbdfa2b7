// The program icon: the scalable SVG that desktops use at any size looks
// like the icon the window draws (and that the build writes as PNG files).
#include <QImageReader>
#include <QtTest>

#include "ui/artwork.h"

namespace kws {

class IconsTest : public QObject {
  Q_OBJECT

 private slots:
  void svgLooksLikeTheDrawnIcon_data() {
    QTest::addColumn<int>("size");
    for (int size : {16, 48, 256}) QTest::addRow("%dx%d", size, size) << size;
  }

  void svgLooksLikeTheDrawnIcon() {
    QFETCH(int, size);
    if (!QImageReader::supportedImageFormats().contains("svg")) QSKIP("Qt's SVG image plugin is not installed");
    QImageReader reader(QStringLiteral(KWS_ICON_SVG));
    reader.setScaledSize(QSize(size, size));
    const QImage svg = reader.read().convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!svg.isNull(), qPrintable(reader.errorString()));
    const QImage drawn = ProgramIconPixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(svg.size(), drawn.size());

    // Edges are smoothed a little differently; shapes, places and colours
    // must agree.
    double total = 0;
    int far_off = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const QRgb a = svg.pixel(x, y), b = drawn.pixel(x, y);
        const int diff = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                   std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
        total += diff;
        if (diff > 48) ++far_off;
      }
    }
    const double mean = total / (size * size);
    QVERIFY2(mean < 2.0, qPrintable(QStringLiteral("mean difference %1").arg(mean)));
    QVERIFY2(far_off <= size * size / 50, qPrintable(QStringLiteral("%1 pixels far off").arg(far_off)));
  }
};

}  // namespace kws

QTEST_MAIN(kws::IconsTest)
#include "icons_test.moc"
