#include "app/PatternSplitter.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSplitterHandle>

namespace {

// Every other pixel dark: seen over whatever lies beneath it.
class TPatternLine : public QWidget {
 public:
  explicit TPatternLine(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QBrush(Qt::black, Qt::Dense4Pattern));
  }
};

class TBevelledHandle : public QSplitterHandle {
 public:
  TBevelledHandle(Qt::Orientation orientation, QSplitter* parent)
      : QSplitterHandle(orientation, parent), FLine(new TPatternLine(parent)) {}

 protected:
  // A raised bevel: light on the top and left, shadow on the bottom and right.
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect r = rect();
    painter.fillRect(r, palette().button());
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
  }

  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    FOffset = Pick(event->position().toPoint());
    FDragging = true;
    ShowLineAt(Pick(pos()));
  }

  void mouseMoveEvent(QMouseEvent* event) override {
    if (FDragging) ShowLineAt(closestLegalPosition(PositionOf(*event)));
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton || !FDragging) return;
    FDragging = false;
    FLine->hide();
    moveSplitter(PositionOf(*event));
  }

 private:
  int Pick(QPoint p) const { return orientation() == Qt::Horizontal ? p.x() : p.y(); }

  // Where the handle's edge would go, in the splitter.
  int PositionOf(const QMouseEvent& event) const {
    return Pick(parentWidget()->mapFromGlobal(event.globalPosition().toPoint())) - FOffset;
  }

  void ShowLineAt(int position) {
    const QRect r = geometry();
    if (orientation() == Qt::Horizontal) {
      FLine->setGeometry(position, r.top(), r.width(), r.height());
    } else {
      FLine->setGeometry(r.left(), position, r.width(), r.height());
    }
    FLine->raise();
    FLine->show();
  }

  TPatternLine* FLine;
  int FOffset = 0;
  bool FDragging = false;
};

}  // namespace

TPatternSplitter::TPatternSplitter(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent) {
  setOpaqueResize(false);
}

QSplitterHandle* TPatternSplitter::createHandle() { return new TBevelledHandle(orientation(), this); }
