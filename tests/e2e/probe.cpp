// Reads what the end-to-end run needs from screenshots and from the X server:
//   probe pixel FILE.png X Y              prints the pixel as RRGGBB
//   probe expect FILE.png X Y RRGGBB[,RRGGBB...] [T]
//                                         exits 1 unless every channel is within T (default 0)
//                                         of one of the colours
//   probe rows FILE.png X Y0 Y1 RRGGBB [T] prints the first and last row in Y0..Y1 of that colour
//   probe client FILE.png                 prints the window's client origin, found by the
//                                         grid's control frame at (1, 137) of the client
//   probe cursor                          prints a hash of the cursor now shown
//   probe cursor-of wait|arrow            shows Qt's cursor under the pointer and prints the
//                                         hashes of its frames
//   probe drag FILE...                    shows a window titled "e2e drag" that, pressed with the
//                                         left button, drags the files' URLs; prints the action the
//                                         drop ended in: ignore, copy, move or link
#include <QCursor>
#include <QDrag>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QUrl>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: probe pixel FILE X Y | expect FILE X Y RRGGBB[,RRGGBB...] [TOL] | rows FILE X Y0 Y1 RRGGBB"
               " [TOL] | client FILE | cursor | cursor-of wait|arrow | drag FILE...\n");
  return 2;
}

QImage Load(const char* file) {
  QImage image(QString::fromLocal8Bit(file));
  if (image.isNull()) {
    std::fprintf(stderr, "probe: cannot read %s\n", file);
    std::exit(2);
  }
  return image;
}

QRgb PixelAt(const QImage& image, int x, int y) {
  if (!image.valid(x, y)) {
    std::fprintf(stderr, "probe: (%d, %d) lies outside the %dx%d picture\n", x, y, image.width(), image.height());
    std::exit(2);
  }
  return image.pixel(x, y) & 0xFFFFFF;
}

bool Within(QRgb a, QRgb b, int tolerance) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The grid's lowered frame: gray at its top-left, black inside it, white at
// its bottom-right (297, 451). Window managers report positions that may
// lag the screen, so the screen itself is read.
int Client(const char* file) {
  const QImage image = Load(file);
  for (int y = 0; y + 452 < image.height(); ++y) {
    for (int x = 0; x + 298 < image.width(); ++x) {
      if (PixelAt(image, x, y) == 0x808080 && PixelAt(image, x + 1, y + 1) == 0 &&
          PixelAt(image, x + 297, y + 451) == 0xFFFFFF && PixelAt(image, x + 296, y + 450) == 0xC0C0C0) {
        std::printf("%d %d\n", x - 1, y - 137);
        return 0;
      }
    }
  }
  std::printf("no grid frame on the screen\n");
  return 1;
}

// colours: RRGGBB, or several joined by commas.
int Expect(const char* file, int x, int y, const char* colours, int tolerance) {
  const QRgb got = PixelAt(Load(file), x, y);
  for (const char* next = colours; *next;) {
    char* end = nullptr;
    if (Within(got, QRgb(std::strtoul(next, &end, 16)), tolerance)) return 0;
    next = *end == ',' ? end + 1 : end;
  }
  std::printf("pixel (%d, %d) is %06X, expected %s\n", x, y, got, colours);
  return 1;
}

int Rows(const char* file, int x, int y0, int y1, QRgb wanted, int tolerance) {
  const QImage image = Load(file);
  int first = -1;
  int last = -1;
  for (int y = y0; y <= y1; ++y) {
    if (!Within(PixelAt(image, x, y), wanted, tolerance)) continue;
    if (first < 0) first = y;
    last = y;
  }
  std::printf("%d %d\n", first, last);
  return first < 0 ? 1 : 0;
}

// FNV-1a over the size, hot spot and pixels of the cursor now shown; 0 when unknown.
std::uint64_t CursorHash(Display* display) {
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (!image) return 0;
  std::uint64_t hash = 1469598103934665603ull;
  const auto mix = [&](std::uint64_t v) { hash = (hash ^ v) * 1099511628211ull; };
  for (const std::uint64_t v : {image->width, image->height, image->xhot, image->yhot}) mix(v);
  for (int i = 0; i < image->width * image->height; ++i) mix(image->pixels[i] & 0xFFFFFFFFu);
  XFree(image);
  return hash;
}

// Shows the cursor the way the program's toolkit does, in a window under
// the pointer, and prints the hash of every frame it shows (theme cursors
// such as the hourglass are animated); with "now", only the cursor now shown.
int CursorOf(int argc, char** argv, const std::string& which) {
  if (which != "wait" && which != "arrow" && which != "now") return Usage();
  std::set<std::uint64_t> frames;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 2;
  if (which == "now") {
    std::printf("%016llx\n", static_cast<unsigned long long>(CursorHash(display)));
    XCloseDisplay(display);
    return 0;
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  QWindow window;
  window.setCursor(which == "wait" ? Qt::WaitCursor : Qt::ArrowCursor);
  window.setGeometry(QRect(QCursor::pos() - QPoint(40, 40), QSize(80, 80)));
  window.show();
  for (int i = 0; i < 100 && !window.isExposed(); ++i) {
    QGuiApplication::processEvents();
    QThread::msleep(10);
  }
  QGuiApplication::sync();
  for (int i = 0; i < 400; ++i) {
    frames.insert(CursorHash(display));
    QThread::msleep(5);
  }
  XCloseDisplay(display);
  for (const std::uint64_t frame : frames) std::printf("%016llx ", static_cast<unsigned long long>(frame));
  std::printf("\n");
  return 0;
}

// A drag source as a file manager's: a press starts the drag of the files,
// offered for copying. The target fetches the files' names after the drag
// has returned, so the program serves them until the drag is over (Qt then
// deletes it) or for a few seconds at most.
class TDragSource : public QRasterWindow {
 public:
  explicit TDragSource(QList<QUrl> urls) : FUrls(std::move(urls)) {}

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(QRect(QPoint(), size()), Qt::darkGreen); }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    auto* data = new QMimeData;
    data->setUrls(FUrls);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    QObject::connect(drag, &QObject::destroyed, [] { QGuiApplication::quit(); });
    QTimer::singleShot(5000, [] { QGuiApplication::quit(); });
    // The answer of the window under the pointer when the button went up.
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    std::printf("%s\n", action == Qt::CopyAction   ? "copy"
                        : action == Qt::MoveAction ? "move"
                        : action == Qt::LinkAction ? "link"
                                                   : "ignore");
    std::fflush(stdout);
  }

 private:
  QList<QUrl> FUrls;
};

int Drag(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  QList<QUrl> urls;
  for (int i = 2; i < argc; ++i) urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
  TDragSource source(urls);
  source.setTitle("e2e drag");
  source.setGeometry(20, 20, 80, 80);
  source.show();
  return QGuiApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc < 2 ? "" : argv[1];
  const auto at = [&](int i) { return std::atoi(argv[i]); };
  if (command == "pixel" && argc == 5) {
    std::printf("%06X\n", PixelAt(Load(argv[2]), at(3), at(4)));
    return 0;
  }
  if (command == "expect" && (argc == 6 || argc == 7))
    return Expect(argv[2], at(3), at(4), argv[5], argc == 7 ? at(6) : 0);
  if (command == "rows" && (argc == 7 || argc == 8)) {
    return Rows(argv[2], at(3), at(4), at(5), QRgb(std::strtoul(argv[6], nullptr, 16)), argc == 8 ? at(7) : 0);
  }
  if (command == "client" && argc == 3) return Client(argv[2]);
  if (command == "cursor" && argc == 2) return CursorOf(argc, argv, "now");
  if (command == "cursor-of" && argc == 3) return CursorOf(argc, argv, argv[2]);
  if (command == "drag" && argc >= 3) return Drag(argc, argv);
  return Usage();
}
