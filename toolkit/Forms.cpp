#include "Forms.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QMouseEvent>
#include <algorithm>
#include <deque>

TApplication Application;
TScreen Screen;

namespace {

// Error boxes, one at a time and never while a mouse button is held. A modal
// box opened during a press swallows the release: a scroll bar's arrow would
// repeat behind the box to its end, a drag would follow the pointer after it
// closed, and each further failure would open a box inside the last one.
class TErrorBoxQueue : public QObject {
 public:
  // A text already open or waiting is not queued again: a paint repeated
  // while a broken file stays in view reports it once.
  void Add(const std::string& text) {
    if ((FOpen && text == FOpenText) || std::find(FTexts.begin(), FTexts.end(), text) != FTexts.end()) return;
    FTexts.push_back(text);
    Schedule();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseButtonRelease: {
        const bool held = static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton;
        if (FHeld && !held) Schedule();
        FHeld = held;
        break;
      }
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  // Queued, so the box opens after the running handler (and the release
  // that ends a press) has been handled.
  void Schedule() {
    if (FScheduled) return;
    FScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { ShowNext(); }, Qt::QueuedConnection);
  }

  void ShowNext() {
    FScheduled = false;
    if (FOpen || FHeld || FTexts.empty()) return;
    const std::string text = FTexts.front();
    FTexts.pop_front();
    FOpen = true;
    FOpenText = text;
    const QString title = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QMessageBox box(QMessageBox::Critical, title, QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
    box.exec();
    FOpen = false;
    Schedule();
  }

  std::deque<std::string> FTexts;
  std::string FOpenText;
  bool FHeld = false;
  bool FOpen = false;
  bool FScheduled = false;
};

TErrorBoxQueue* gErrorBoxes = nullptr;

TErrorBoxQueue* ErrorBoxes() {
  auto* app = QCoreApplication::instance();
  if (!app) return nullptr;
  if (!gErrorBoxes) {
    // Owned by the application, so it goes with it.
    gErrorBoxes = new TErrorBoxQueue;
    gErrorBoxes->setParent(app);
    QObject::connect(gErrorBoxes, &QObject::destroyed, [] { gErrorBoxes = nullptr; });
    app->installEventFilter(gErrorBoxes);
  }
  return gErrorBoxes;
}

}  // namespace

void TApplication::Initialize() { ErrorBoxes(); }

std::string TApplication::ErrorText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void TApplication::HandleException(const std::exception& e) { Report(e.what()); }

void TApplication::HandleUnknownException() { Report("Unknown error"); }

void TApplication::Report(const std::string& message) {
  const std::string text = ErrorText(message);
  if (FSink) {
    FSink(text);
    return;
  }
  if (TErrorBoxQueue* boxes = ErrorBoxes()) boxes->Add(text);
}

void TScreen::SetCursor(int c) {
  if (c == FCursor) return;
  FCursor = c;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  QGuiApplication::restoreOverrideCursor();
  if (c == crHourGlass) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}
