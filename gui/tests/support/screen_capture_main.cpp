// gui_screen_capture OUT.png MIN_PIXELS: on the X display it is given, waits until at least
// MIN_PIXELS of the screen are no longer the black of an empty Xvfb screen and two grabs in a
// row agree (a window is mapped and painted), then writes the whole screen to OUT.png. Exits 1
// when that did not happen within 30 seconds.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <chrono>

namespace {

qint64 PaintedPixels(const QImage& image) {
  qint64 painted = 0;
  for (int y = 0; y < image.height(); ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) painted += (line[x] & 0xFFFFFF) != 0;
  }
  return painted;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc < 3) return 2;
  qint64 wanted = QString::fromLocal8Bit(argv[2]).toLongLong();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  QImage previous;
  while (std::chrono::steady_clock::now() < deadline) {
    QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
    if (PaintedPixels(shot) >= wanted && shot == previous) return shot.save(argv[1]) ? 0 : 1;
    previous = shot;
    QThread::msleep(50);
  }
  return 1;
}
