#include "app/FullScreen.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <chrono>

namespace {

constexpr std::chrono::milliseconds kQuietPointer{2000};
constexpr std::chrono::milliseconds kStripShown{2000};

}  // namespace

TFullScreen::TFullScreen(QWidget& owner, QWidget& view, std::function<QString()> describe)
    : FOwner(owner), FView(view), FDescribe(std::move(describe)) {
  // A window of the browser's, so the window manager keeps it with it.
  FWindow = std::make_unique<QWidget>(&owner, Qt::Window);
  FWindow->setWindowTitle(owner.windowTitle());
  // The application ends with the browser window, never because of this one.
  FWindow->setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(FWindow.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  FStrip = new QLabel(FWindow.get());
  FStrip->setAutoFillBackground(true);
  QPalette strip = FStrip->palette();
  strip.setColor(QPalette::Window, QColor(32, 32, 32));
  strip.setColor(QPalette::WindowText, Qt::white);
  FStrip->setPalette(strip);
  FStrip->setContentsMargins(6, 2, 6, 2);
  FStrip->hide();
  FPointerTimer = new QTimer(this);
  FPointerTimer->setSingleShot(true);
  FPointerTimer->setInterval(kQuietPointer);
  connect(FPointerTimer, &QTimer::timeout, this, [this] {
    if (!FActive || FPointerHidden) return;
    FPointerHidden = true;
    QApplication::setOverrideCursor(Qt::BlankCursor);
  });
  FStripTimer = new QTimer(this);
  FStripTimer->setSingleShot(true);
  FStripTimer->setInterval(kStripShown);
  connect(FStripTimer, &QTimer::timeout, this, [this] {
    if (!FPinned) FStrip->hide();
  });
  FWindow->installEventFilter(this);
}

TFullScreen::~TFullScreen() {
  Leave();
  FWindow->removeEventFilter(this);
}

void TFullScreen::Enter() {
  if (FActive) return;
  FActive = true;
  FHome = FView.parentWidget();
  FFocus = QApplication::focusWidget();
  if (FHome && FHome->layout()) FHomeIndex = FHome->layout()->indexOf(&FView);
  // The window's own shortcuts (quit, full screen) work here too.
  FWindow->addActions(FOwner.actions());
  FWindow->layout()->addWidget(&FView);
  FStrip->raise();
  FView.setMouseTracking(true);
  FView.installEventFilter(this);
  if (QScreen* screen = FOwner.screen()) {
    FWindow->setScreen(screen);
    FWindow->setGeometry(screen->geometry());
  }
  FWindow->showFullScreen();
  FWindow->activateWindow();
  FView.setFocus(Qt::OtherFocusReason);
  FPointerTimer->start();
  Refresh();
}

void TFullScreen::Leave() {
  if (!FActive) return;
  FActive = false;
  FPointerTimer->stop();
  FStripTimer->stop();
  ShowPointer();
  FView.removeEventFilter(this);
  FView.setMouseTracking(false);
  FWindow->hide();
  for (QAction* action : FOwner.actions()) FWindow->removeAction(action);
  if (FHome) {
    if (auto* box = qobject_cast<QBoxLayout*>(FHome->layout())) {
      box->insertWidget(FHomeIndex, &FView);
    } else {
      FView.setParent(FHome);
    }
    FView.show();
  }
  FOwner.activateWindow();
  if (FFocus) FFocus->setFocus(Qt::OtherFocusReason);
}

void TFullScreen::Flash() {
  if (!FActive) return;
  Refresh();
  FStrip->show();
  FStripTimer->start();
}

void TFullScreen::ToggleStrip() {
  FPinned = !FPinned;
  if (FPinned) {
    Refresh();
    FStrip->show();
  } else {
    FStrip->hide();
  }
}

void TFullScreen::Refresh() {
  if (!FActive) return;
  FStrip->setText(FDescribe());
  if (FPinned) FStrip->show();
  PlaceStrip();
}

// One line across the bottom, over the picture, so the view's size and the
// fitted picture made for it never change with the strip.
void TFullScreen::PlaceStrip() {
  const int height = FStrip->sizeHint().height();
  FStrip->setGeometry(0, FWindow->height() - height, FWindow->width(), height);
  FStrip->raise();
}

void TFullScreen::ShowPointer() {
  if (!FPointerHidden) return;
  FPointerHidden = false;
  QApplication::restoreOverrideCursor();
}

bool TFullScreen::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FWindow.get()) {
    if (event->type() == QEvent::Resize) PlaceStrip();
    // Closed by the window manager: back to the browser window.
    if (event->type() == QEvent::Close) {
      event->ignore();
      QTimer::singleShot(0, this, [this] { Leave(); });
      return true;
    }
  }
  if (watched == &FView && FActive && event->type() == QEvent::MouseMove) {
    ShowPointer();
    FPointerTimer->start();
  }
  return QObject::eventFilter(watched, event);
}
