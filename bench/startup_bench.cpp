// Time from entering main to the main window's first paint, e.g. on Qt's
// offscreen platform: QT_QPA_PLATFORM=offscreen build/release/bin/startup_bench
#include <QApplication>
#include <QEvent>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>

#include "ui/tform1.h"

namespace {

using Clock = std::chrono::steady_clock;

class FirstPaint : public QObject {
 public:
  explicit FirstPaint(Clock::time_point start) : start_(start) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
      std::printf("first paint after %.1f ms (%s)\n", ms, qPrintable(watched->objectName()));
      QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  Clock::time_point start_;
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  const auto start = Clock::now();
  QApplication app(argc, argv);
  FirstPaint watcher(start);
  app.installEventFilter(&watcher);
  QTemporaryDir home;
  kws::TForm1 form(nullptr, home.path());
  form.show();
  return QApplication::exec();
}
