// The canvas primitives whose rasterisation is the platform's: ellipses,
// polygons and text, drawn by QPainter without antialiasing on a QImage that
// wraps the target's own pixel store.
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <optional>

#include "Graphics.h"

namespace {

QColor ToQColor(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return {GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)};
}

// Building a QFont and its metrics is the costly part of text; one paint
// draws many numbers in the same font, so the last one is kept.
struct FontCache {
  TFont key;
  std::optional<QFont> font;
  std::optional<QFontMetrics> metrics;

  const QFont& Get(const TFont& f) {
    if (!font || !(key == f)) {
      QFont q(QString::fromStdString(f.Name));
      q.setPixelSize(std::max(f.Height, 1));
      q.setBold(f.Bold);
      q.setStyleStrategy(QFont::NoAntialias);
      q.setHintingPreference(QFont::PreferFullHinting);
      font = q;
      metrics.emplace(q);
      key = f;
    }
    return *font;
  }
};

FontCache& Fonts() {
  static FontCache cache;
  return cache;
}

// A painter on the target's pixels; the image does not own or copy them.
class TargetPainter {
 public:
  explicit TargetPainter(TBitmap& target)
      : FImage(reinterpret_cast<uchar*>(target.MutableBits()), target.Width(), target.Height(),
               qsizetype(target.Width()) * 4, QImage::Format_RGB32),
        FPainter(&FImage) {
    FPainter.setRenderHint(QPainter::Antialiasing, false);
    FPainter.setRenderHint(QPainter::TextAntialiasing, false);
  }
  QPainter& operator*() { return FPainter; }
  QPainter* operator->() { return &FPainter; }

 private:
  QImage FImage;
  QPainter FPainter;
};

void SetPenAndBrush(QPainter& p, const TCanvas& c) {
  QPen pen(ToQColor(c.Pen.Color));
  pen.setWidth(std::max(c.Pen.Width, 1) == 1 ? 0 : c.Pen.Width);  // 0: cosmetic one-pixel pen
  p.setPen(pen);
  if (c.Brush.Style() == bsClear) {
    p.setBrush(Qt::NoBrush);
  } else {
    p.setBrush(ToQColor(c.Brush.Color()));
  }
}

bool Reasonable(long long v) { return v > -(1LL << 24) && v < (1LL << 24); }

}  // namespace

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x2 - x1 < 1 || y2 - y1 < 1 || FTarget.Empty()) return;
  if (!Reasonable(x1) || !Reasonable(x2) || !Reasonable(y1) || !Reasonable(y2)) return;
  {
    TargetPainter p(FTarget);
    SetPenAndBrush(*p, *this);
    // An aliased QRect(x, y, w, h) outline covers x..x+w: ask for one less so
    // the ellipse stays inside x1..x2-1, y1..y2-1.
    p->drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
  }
  Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
  if (points.empty() || FTarget.Empty()) return;
  QPolygon poly;
  for (const TPoint& pt : points) {
    if (!Reasonable(pt.X) || !Reasonable(pt.Y)) return;
    poly << QPoint(pt.X, pt.Y);
  }
  {
    TargetPainter p(FTarget);
    SetPenAndBrush(*p, *this);
    p->drawPolygon(poly);
  }
  Changed();
}

int TCanvas::TextWidth(const std::string& text) const {
  Fonts().Get(Font);
  return Fonts().metrics->horizontalAdvance(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

int TCanvas::TextHeight(const std::string& /*text*/) const {
  Fonts().Get(Font);
  return Fonts().metrics->height();
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  const int w = TextWidth(text);
  const int h = TextHeight(text);
  if (FTarget.Empty() || !Reasonable(x) || !Reasonable(y)) return;
  if (x >= FTarget.Width() || y >= FTarget.Height() || x + w <= 0 || y + h <= 0) {
    PenPos = {x + w, y};
    return;
  }
  {
    TargetPainter p(FTarget);
    if (Brush.Style() != bsClear) p->fillRect(QRect(x, y, w, h), ToQColor(Brush.Color()));
    p->setFont(Fonts().Get(Font));
    p->setPen(ToQColor(Font.Color));
    p->drawText(QPoint(x, y + Fonts().metrics->ascent()), QString::fromLatin1(text.data(), qsizetype(text.size())));
  }
  PenPos = {x + w, y};
  Changed();
}
