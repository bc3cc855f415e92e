#include "Tesk_dstruct.h"

#include <algorithm>

TBitFld::TBitFld(TComponent* AOwner, const std::string& AName) : TComponent(AOwner) {
  SetName(AName);
  try {
    FStore.assign(BytesFor(FSize), 0);
  } catch (...) {
    throw ETeskDStructError("Component \"" + Name() + "\": not enough memory on heap");
  }
}

void TBitFld::SetSize(int n) {
  if (n < 0 || n == FSize) return;
  // Resize before taking the new size: if the store cannot grow, Size must
  // not promise bits the store does not hold.
  FStore.resize(BytesFor(n), 0);
  FSize = n;
}

void TBitFld::Clear() { std::fill(FStore.begin(), FStore.end(), std::uint8_t(0)); }

void TBitFld::SetBit(int Index, bool Value) {
  if (!InRange(Index)) return;
  if (Value) {
    FStore[std::size_t(Index / 8)] |= Mask(Index);
  } else {
    FStore[std::size_t(Index / 8)] &= std::uint8_t(~Mask(Index));
  }
}

void TBitFld::ToggleBit(int Index) {
  if (InRange(Index)) FStore[std::size_t(Index / 8)] ^= Mask(Index);
}

bool TBitFld::Bit(int Index) const { return InRange(Index) && (FStore[std::size_t(Index / 8)] & Mask(Index)) != 0; }

void TBitFld::Assign(const TPersistent* Source) {
  const auto* other = dynamic_cast<const TBitFld*>(Source);
  if (!other) {
    TComponent::Assign(Source);
    return;
  }
  // Spare bits are copied too: the copy is byte for byte.
  FStore = other->FStore;
  FSize = other->FSize;
}

void TBitFld::AssignTo(TPersistent* Dest) const {
  if (auto* other = dynamic_cast<TBitFld*>(Dest)) {
    other->Assign(this);
  } else {
    TComponent::AssignTo(Dest);
  }
}
