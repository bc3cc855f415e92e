// The grid by keyboard: the selected slide moves as a click on its new place
// would select it, the view follows through the scroll bar as if a person
// moved the bar, and Return or Space click the selected slide.
#include <QScrollBar>
#include <algorithm>
#include <iterator>
#include <utility>

#include "app/mainfrm.h"
#include "toolkit/qt/ImageView.h"

// Where a key takes the selection from Current (0: none); 0 for no move.
int TFrmGlimmet::SlideForKey(int Key, int Current) const {
  const int first = Thumbs1->Min(), last = Thumbs1->Max();
  const int columns = std::max(1, Thumbs1->NumColumns());
  const int page = columns * Thumbs1->RowsInView();
  if (Key == Qt::Key_Home) return first;
  if (Key == Qt::Key_End) return last;
  const std::pair<int, int> steps[] = {{Qt::Key_Left, -1},      {Qt::Key_Right, 1},      {Qt::Key_Up, -columns},
                                       {Qt::Key_Down, columns}, {Qt::Key_PageUp, -page}, {Qt::Key_PageDown, page}};
  const auto* const move =
      std::find_if(std::begin(steps), std::end(steps), [&](const auto& s) { return s.first == Key; });
  if (move == std::end(steps)) return 0;
  const int step = move->second;
  if (Current >= first && Current <= last) {
    return int(std::clamp<long long>(static_cast<long long>(Current) + step, first, last));
  }
  // Nothing selected yet: the first slide the person sees whole.
  int seen = last;
  for (const int id : Thumbs1->SlidesInView()) {
    if (Thumbs1->SlideWhollyInView(id)) seen = std::min(seen, id);
  }
  return seen;
}

// A slide above the view brings its row to the top, one below it to the
// bottom; the bar moves and the grid follows it as it follows a person's move.
void TFrmGlimmet::ScrollSlideIntoView(int ThumbID) {
  const double showing = Thumbs1->ScrollPositionShowing(ThumbID);
  if (showing == Thumbs1->ScrollPosition()) return;
  const int columns = std::max(1, Thumbs1->NumColumns());
  const int rowStart = int(showing);
  const bool above = showing < Thumbs1->ScrollPosition();
  const int top = above ? rowStart : rowStart - (Thumbs1->RowsInView() - 1) * columns;
  SBarThumbs->setValue(std::max(top, Thumbs1->Min()));
  // The click or selection that follows needs the grid where the bar is.
  if (std::exchange(FFollowBarLater, false)) FollowBar();
}

bool TFrmGlimmet::Thumbs1KeyDown(int Key, bool Shift) {
  if (Key == Qt::Key_F || Key == Qt::Key_1) {
    LargeImgView->SetMode(Key == Qt::Key_F ? TImageView::TViewMode::Fit : TImageView::TViewMode::Natural);
    return true;
  }
  if (!Thumbs1->Visible()) return false;
  const int current = Thumbs1->SelectAnchor();
  const bool selected = current >= Thumbs1->Min() && current <= Thumbs1->Max();
  if (Key == Qt::Key_Return || Key == Qt::Key_Enter || Key == Qt::Key_Space) {
    if (!selected) return true;
    ScrollSlideIntoView(current);
    Thumbs1->ClickSlide(current);
    return true;
  }
  const int target = SlideForKey(Key, current);
  if (target == 0) return false;
  ScrollSlideIntoView(target);
  Thumbs1->SelectByKey(target, Shift);
  return true;
}
