#pragma once
// The large view alone on the whole screen of the browser window, and back.
// The view moves into a window of its own and returns to its place in the
// layout; the browser window itself is left untouched behind it, so its
// geometry, splitter and selection are as they were, and the focus goes
// back where it was. The pointer hides after two seconds without motion; a
// strip at the bottom says what is shown for two seconds after each Flash
// and always while pinned.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class QTimer;
class QWidget;

class TFullScreen : public QObject {
 public:
  // describe gives the strip's line; owner is the window the view lives in.
  TFullScreen(QWidget& owner, QWidget& view, std::function<QString()> describe);
  // Returns the view to its place.
  ~TFullScreen() override;

  bool Active() const { return FActive; }
  void Enter();
  void Leave();
  void Toggle() { FActive ? Leave() : Enter(); }
  // Shows the strip, with what is shown now, for two seconds.
  void Flash();
  // Keeps the strip shown, or lets it go.
  void ToggleStrip();
  // The strip's line again, as what is shown changed.
  void Refresh();

  QWidget* Window() const { return FWindow.get(); }
  QLabel* Strip() const { return FStrip; }
  QTimer* PointerTimer() const { return FPointerTimer; }
  QTimer* StripTimer() const { return FStripTimer; }
  bool PointerHidden() const { return FPointerHidden; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceStrip();
  void ShowPointer();

  QWidget& FOwner;
  QWidget& FView;
  std::function<QString()> FDescribe;
  std::unique_ptr<QWidget> FWindow;
  QLabel* FStrip = nullptr;
  QTimer* FPointerTimer = nullptr;
  QTimer* FStripTimer = nullptr;
  bool FActive = false;
  bool FPinned = false;
  bool FPointerHidden = false;
  // Where the view lives in the window.
  QPointer<QWidget> FHome;
  int FHomeIndex = 0;
  QPointer<QWidget> FFocus;
};
