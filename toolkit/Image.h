#pragma once
// An image view without a window: a picture and how to place it. The Qt
// widget that shows it lives in toolkit/qt.
#include <string>

#include "Classes.h"
#include "Pictures.h"

class TImage : public TComponent {
 public:
  explicit TImage(TComponent* AOwner);
  std::string ClassName() const override { return "TImage"; }

  TPicture& Picture() { return FPicture; }
  const TPicture& Picture() const { return FPicture; }

  // Centre the picture in the view (otherwise top-left), and scale it to the
  // view (otherwise natural size).
  bool Center = false;
  bool Stretch = false;

  // Raised when the picture was replaced.
  TNotifyEvent OnChange;

 private:
  TPicture FPicture;
};
