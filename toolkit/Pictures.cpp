#include "Pictures.h"

#include <algorithm>
#include <utility>

#include "SysUtils.h"

namespace {

std::vector<TFileFormat>& Registry() {
  static std::vector<TFileFormat> formats;
  return formats;
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  return AnsiUpperCaseAscii(a) == AnsiUpperCaseAscii(b);
}

std::unique_ptr<TGraphic> CreateGraphicFor(const std::string& extension) {
  const auto& formats = Registry();
  const auto found = std::find_if(formats.rbegin(), formats.rend(),
                                  [&](const TFileFormat& f) { return SameTextAscii(f.Extension, extension); });
  if (found == formats.rend()) {
    throw EInvalidGraphic(Format("Unknown picture file extension (.%s)", extension.c_str()));
  }
  return found->Factory();
}

}  // namespace

// Pictures without a row decoder of their own are drawn whole first.
bool TGraphic::DecodeRows(const TRowsHandler& Rows, const std::atomic<bool>* Cancel) {
  DecodeAhead(Cancel);
  if (Cancel && Cancel->load()) return false;
  TBitmap whole(Width(), Height());
  Draw(whole.Canvas(), 0, 0);
  if (!whole.Empty()) Rows(whole.Bits(), whole.Height());
  return true;
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  TGraphicFactory factory) {
  Registry().push_back({extension, description, std::move(factory)});
}

const std::vector<TFileFormat>& TPicture::FileFormats() { return Registry(); }

std::unique_ptr<TGraphic> TPicture::LoadGraphic(const std::string& fileName) {
  const std::string ext = ExtractFileExt(fileName);
  std::unique_ptr<TGraphic> graphic = CreateGraphicFor(ext.empty() ? ext : ext.substr(1));
  graphic->LoadFromFile(fileName);
  return graphic;
}

std::unique_ptr<TGraphic> TPicture::LoadResolvedGraphic(const std::string& path) {
  const std::string ext = ExtractFileExt(path);
  std::unique_ptr<TGraphic> graphic = CreateGraphicFor(ext.empty() ? ext : ext.substr(1));
  graphic->LoadFromData(ReadResolvedFile(path));
  return graphic;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): overrides take the data over
void TGraphic::LoadFromData(std::vector<std::uint8_t>) {
  throw EInvalidGraphic(ClassName() + " cannot be loaded from memory");
}

void TPicture::LoadFromFile(const std::string& fileName) { SetGraphic(LoadGraphic(fileName)); }

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
  FGraphic = std::move(graphic);
  if (OnChange) OnChange(this);
}

void TPicture::AssignTo(TPersistent* Dest) const {
  auto* bitmap = dynamic_cast<TBitmap*>(Dest);
  if (!bitmap) {
    TPersistent::AssignTo(Dest);
  } else if (FGraphic) {
    bitmap->Assign(FGraphic.get());
  } else {
    bitmap->Reset(0, 0);
  }
}
