#include "Image.h"

TImage::TImage(TComponent* AOwner) : TComponent(AOwner) {
  FPicture.OnChange = [this](TObject*) {
    if (OnChange) OnChange(this);
  };
}
