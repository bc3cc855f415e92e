// The large view as a viewer: a step shows the next or previous slide's
// picture exactly as a click of that slide does (selection, the grid
// scrolled to it, the picture, a failure's box), so grid, bar and view
// agree; the wheel steps a picture a notch. Full screen is entered and left
// here too.
#include <QKeyEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "app/FullScreen.h"
#include "app/mainfrm.h"
#include "toolkit/Forms.h"
#include "toolkit/qt/ImageView.h"

bool TFrmGlimmet::LargeImgViewEvent(QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) return false;
    bool taken = false;
    Application.Guard([&] { taken = LargeImgKeyDown(key->key()); });
    return taken;
  }
  if (event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (wheel->modifiers() & Qt::ControlModifier) return false;  // the view's zoom
    // Turned down (toward the person) is forward, as down a list.
    FLargeWheel += wheel->angleDelta().y();
    const int notches = FLargeWheel / QWheelEvent::DefaultDeltasPerStep;
    FLargeWheel -= notches * QWheelEvent::DefaultDeltasPerStep;
    for (int i = 0; i < std::abs(notches); ++i) {
      Application.Guard([&] { LargeImgKeyDown(notches < 0 ? Qt::Key_Right : Qt::Key_Left); });
    }
    return true;
  }
  return false;
}

bool TFrmGlimmet::LargeImgKeyDown(int Key) {
  if (Key == Qt::Key_F11 || Key == Qt::Key_Return || Key == Qt::Key_Enter) {
    ToggleFullScreen();
    return true;
  }
  if (Key == Qt::Key_Escape && FFullScreen->Active()) {
    FFullScreen->Leave();
    return true;
  }
  if (Key == Qt::Key_I && FFullScreen->Active()) {
    FFullScreen->ToggleStrip();
    return true;
  }
  const std::pair<int, int> steps[] = {{Qt::Key_Right, 1},      {Qt::Key_Down, 1},   {Qt::Key_Space, 1},
                                       {Qt::Key_PageDown, 1},   {Qt::Key_Left, -1},  {Qt::Key_Up, -1},
                                       {Qt::Key_Backspace, -1}, {Qt::Key_PageUp, -1}};
  const auto* const move =
      std::find_if(std::begin(steps), std::end(steps), [&](const auto& s) { return s.first == Key; });
  const int first = Thumbs1->Min(), last = Thumbs1->Max();
  if (move != std::end(steps)) {
    const int current = Thumbs1->SelectAnchor();
    const int from = current >= first && current <= last ? current : first - move->second;
    StepLargeView(std::clamp(from + move->second, first, last), move->second);
    return true;
  }
  // Travel goes on from the end reached: forward from the first, back from the last.
  if (Key == Qt::Key_Home || Key == Qt::Key_End) {
    StepLargeView(Key == Qt::Key_Home ? first : last, Key == Qt::Key_Home ? 1 : -1);
    return true;
  }
  return false;
}

// The path of Return on the grid: the slide is brought into view through
// the bar, then clicked; the view keeps the focus and its fit or zoom.
void TFrmGlimmet::StepLargeView(int ThumbID, int Direction) {
  if (!Thumbs1->Visible() || !FFileList || FFileList->Count() == 0) return;
  FLargeDirection = Direction;
  if (ThumbID == Thumbs1->SelectAnchor()) return;
  ScrollSlideIntoView(ThumbID);
  Thumbs1->ClickSlide(ThumbID);
  FFullScreen->Flash();
}

void TFrmGlimmet::ToggleFullScreen() { FFullScreen->Toggle(); }

// "p12.jpg   12 / 340   6000 x 4000   fit 10%"
QString TFrmGlimmet::LargeViewLine() const {
  const TPicture& picture = LargeImg->Picture();
  if (!picture.Graphic() || picture.Graphic()->Empty()) return {};
  const int count = FFileList ? FFileList->Count() : 0;
  const int place = Thumbs1->SelectAnchor();
  QString line = LargeImgView->toolTip();
  if (place >= 1 && place <= count) line += QStringLiteral("   %1 / %2").arg(place).arg(count);
  line += QStringLiteral("   %1 x %2   ").arg(picture.Width()).arg(picture.Height());
  return line + LargeImgView->ScaleText();
}
