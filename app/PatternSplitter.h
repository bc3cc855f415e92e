#pragma once
// The splitter of the left panel: a bevelled handle, and a drag that shows a
// pattern line where the handle will go and moves it when the button is
// released.
#include <QSplitter>

class TPatternSplitter : public QSplitter {
 public:
  explicit TPatternSplitter(Qt::Orientation orientation, QWidget* parent = nullptr);

 protected:
  QSplitterHandle* createHandle() override;
};
