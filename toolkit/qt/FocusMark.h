#pragma once
// Shows which widget has the keyboard focus: a band along its edges, in the
// palette's highlight colour, drawn over it while it has the focus. Without
// the focus nothing is drawn, so every pixel the widget draws stays exactly
// as it is.
#include <QWidget>

class TFocusMark : public QWidget {
 public:
  // The mark's width in pixels.
  static constexpr int kWidth = 2;

  // Marks the widget from now on; the mark is its child and goes with it.
  static TFocusMark* Mark(QWidget& target);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  explicit TFocusMark(QWidget& target);

  QWidget& FTarget;
};
