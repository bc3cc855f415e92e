// The canvas primitives that QPainter rasterises without antialiasing, on a
// QImage that wraps the target's own pixel store: the inside of polygons, and
// text.
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
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
  TargetPainter(TBitmap& target, const TCanvas& canvas)
      : FImage(reinterpret_cast<uchar*>(target.MutableBits()), target.Width(), target.Height(),
               qsizetype(target.Width()) * 4, QImage::Format_RGB32),
        FPainter(&FImage) {
    FPainter.setRenderHint(QPainter::Antialiasing, false);
    FPainter.setRenderHint(QPainter::TextAntialiasing, false);
    if (const TRect* clip = canvas.ClipRect()) {
      FPainter.setClipRect(QRect(QPoint(clip->Left, clip->Top), QPoint(clip->Right - 1, clip->Bottom - 1)));
    }
  }
  QPainter& operator*() { return FPainter; }
  QPainter* operator->() { return &FPainter; }

 private:
  QImage FImage;
  QPainter FPainter;
};

// Text is 8-bit in the platform's Windows-1252 set: Latin-1 but for 0x80..0x9F,
// where it has printable characters (the five codes it leaves free stay C1).
QString FromAnsi(const std::string& text) {
  static constexpr char16_t k80to9F[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  QString out;
  out.reserve(qsizetype(text.size()));
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    out.append(QChar(b >= 0x80 && b <= 0x9F ? k80to9F[b - 0x80] : char16_t(b)));
  }
  return out;
}

bool Reasonable(long long v) { return v > -(1LL << 24) && v < (1LL << 24); }

// Tells the canvas's listener which pixels a QPainter drawing set, found by
// the same drawing on a blank image of the box it can reach: drawn without
// antialiasing, what a shape or a glyph covers does not depend on colours.
template <class Draw>
void ReportCovered(TCanvas& canvas, const QRect& reach, const Draw& draw) {
  if (!canvas.OnPixelsSet) return;
  QRect box = reach.intersected(QRect(0, 0, canvas.Target().Width(), canvas.Target().Height()));
  if (const TRect* clip = canvas.ClipRect()) {
    box = box.intersected(QRect(QPoint(clip->Left, clip->Top), QPoint(clip->Right - 1, clip->Bottom - 1)));
  }
  if (box.isEmpty()) return;
  QImage covered(box.size(), QImage::Format_ARGB32_Premultiplied);
  covered.fill(Qt::transparent);
  {
    QPainter p(&covered);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.translate(-box.left(), -box.top());
    draw(p);
  }
  for (int y = 0; y < covered.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(covered.constScanLine(y));
    for (int x = 0; x < covered.width();) {
      int end = x;
      while (end < covered.width() && qAlpha(row[end]) != 0) ++end;
      if (end > x) canvas.OnPixelsSet(TRect{box.left() + x, box.top() + y, box.left() + end, box.top() + y + 1});
      x = end + 1;
    }
  }
}

}  // namespace

// The inside is QPainter's, without a pen; the outline follows the canvas's
// own line rule, so every stated vertex is set. The pen position is kept.
void TCanvas::Polygon(const std::vector<TPoint>& points) {
  if (points.empty() || FTarget.Empty()) return;
  for (const TPoint& pt : points) {
    if (!Reasonable(pt.X) || !Reasonable(pt.Y)) return;
  }
  if (Brush.Style() != bsClear) {
    // Shifted by half a pixel: QPainter fills the pixels whose centres lie
    // inside, and pixel (x, y) of this canvas is the point (x, y) itself.
    QPolygonF poly;
    for (const TPoint& pt : points) poly << QPointF(pt.X + 0.5, pt.Y + 0.5);
    const auto fill = [&](QPainter& p) {
      p.setPen(Qt::NoPen);
      p.setBrush(ToQColor(Brush.Color()));
      p.drawPolygon(poly);
    };
    {
      TargetPainter p(FTarget, *this);
      fill(*p);
    }
    ReportCovered(*this, poly.boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1), fill);
  }
  const TPoint saved = PenPos;
  MoveTo(points.back().X, points.back().Y);
  for (const TPoint& pt : points) LineTo(pt.X, pt.Y);
  PenPos = saved;
  Changed();
}

int TCanvas::TextWidth(const std::string& text) const {
  Fonts().Get(Font);
  return Fonts().metrics->horizontalAdvance(FromAnsi(text));
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
  const auto draw = [&](QPainter& p) {
    if (Brush.Style() != bsClear) p.fillRect(QRect(x, y, w, h), ToQColor(Brush.Color()));
    p.setFont(Fonts().Get(Font));
    p.setPen(ToQColor(Font.Color));
    p.drawText(QPoint(x, y + Fonts().metrics->ascent()), FromAnsi(text));
  };
  {
    TargetPainter p(FTarget, *this);
    draw(*p);
  }
  // Glyphs may reach a little beyond their cell.
  ReportCovered(*this, QRect(x - h, y - h, w + 2 * h, 3 * h), draw);
  PenPos = {x + w, y};
  Changed();
}
