#pragma once
// Shows which widget has the keyboard focus: a band along the edges of it,
// or of a frame around it, in the palette's highlight colour, drawn over
// them while the widget has the focus. Without the focus nothing is drawn,
// so every pixel stays exactly as it is.
#include <QWidget>

class TFocusMark : public QWidget {
 public:
  // Marks the target from now on with a band of this width along the edges
  // of on (the target itself, or a frame that holds it); the mark is on's
  // child and goes with it.
  static TFocusMark* Mark(QWidget& target, QWidget& on, int width);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  TFocusMark(QWidget& target, QWidget& on, int width);
  // Over on's edges only: what lies inside never waits for the mark.
  void Cover();

  QWidget& FTarget;
  QWidget& FOn;
  int FWidth;
};
