#pragma once
// Data structures of the component library: a resizable array of bits.
#include <cstdint>
#include <string>
#include <vector>

#include "Tesk_teskbase.h"
#include "toolkit/Classes.h"

class ETeskDStructError : public ETeskError {
 public:
  using ETeskError::ETeskError;
};

// Bits with valid indexes 0..Size inclusive. The byte store is always
// Size div 8 + 2 bytes, so at least one spare byte rides along; bits beyond
// Size keep their values and come back into range when Size grows again.
class TBitFld : public TComponent {
 public:
  // AName is set before the store is made, so an allocation failure can
  // name the component in its message.
  explicit TBitFld(TComponent* AOwner, const std::string& AName = "");
  std::string ClassName() const override { return "TBitFld"; }

  int Size() const { return FSize; }
  // Negative values and the current size are ignored; kept bytes keep their bits.
  void SetSize(int n);
  int ByteCount() const { return int(FStore.size()); }

  void Clear();
  // Out-of-range indexes are ignored (Bit gives false).
  void SetBit(int Index, bool Value);
  void ToggleBit(int Index);
  bool Bit(int Index) const;

  void Assign(const TPersistent* Source) override;

 protected:
  void AssignTo(TPersistent* Dest) const override;

 private:
  bool InRange(int Index) const { return Index >= 0 && Index <= FSize; }
  static std::uint8_t Mask(int Index) { return std::uint8_t(1u << (Index % 8)); }
  static std::size_t BytesFor(int size) { return std::size_t(size / 8) + 2; }

  int FSize = 1000;
  std::vector<std::uint8_t> FStore;
};
