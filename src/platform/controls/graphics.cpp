#include <fyndra/platform/controls/graphics.h>

namespace fyndra {

FYNDRA_PUBLISHED(TFont, P) {
  P.Property("Color", &TFont::GetColor, &TFont::SetColor).Default(clWindowText);
  P.Property("Name", &TFont::GetName, &TFont::SetName);
  P.Property("Size", &TFont::GetSize, &TFont::SetSize).Default(0);
  P.Property("Style", &TFont::GetStyle, &TFont::SetStyle).Default(TFontStyles{});
}

void TFont::SetName(const std::string& Value) {
  if (Name_ == Value) return;
  Name_ = Value;
  Changed();
}

void TFont::SetSize(std::int32_t Value) {
  if (Value < 0) throw EConvertError("A font size cannot be negative: " + std::to_string(Value));
  if (Size_ == Value) return;
  Size_ = Value;
  Changed();
}

void TFont::SetColor(TColor Value) {
  if (Color_ == Value) return;
  Color_ = Value;
  Changed();
}

void TFont::SetStyle(TFontStyles Value) {
  if (Style_ == Value) return;
  Style_ = Value;
  Changed();
}

void TFont::Assign(TPersistent* Source) {
  auto* F = dynamic_cast<TFont*>(Source);
  if (!F) return TPersistent::Assign(Source);
  if (Equals(*F)) return;
  Name_ = F->Name_;
  Size_ = F->Size_;
  Color_ = F->Color_;
  Style_ = F->Style_;
  Changed();
}

bool TFont::Equals(const TFont& Other) const {
  return Name_ == Other.Name_ && Size_ == Other.Size_ && Color_ == Other.Color_ && Style_ == Other.Style_;
}

void TFont::Changed() {
  if (OnChange) OnChange(this);
}

}  // namespace fyndra
