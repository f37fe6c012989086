// Colours and fonts as the controls publish them. A colour is either an RGB
// value (0x00BBGGRR) or one of the system colours, which a toolkit resolves
// from its palette; a font is a small persistent object that tells its owner
// when it changes.
#pragma once

#include <cstdint>
#include <string>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {

using TColor = std::int32_t;

// System colours: the high bit set and the palette role in the low byte.
inline constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
inline constexpr TColor clScrollBar = clSystemColor | 0;
inline constexpr TColor clBackground = clSystemColor | 1;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowFrame = clSystemColor | 6;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clGrayText = clSystemColor | 17;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clInfoBk = clSystemColor | 24;
// The control's own default (the toolkit's choice for its kind of widget).
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;

inline bool IsSystemColor(TColor C) { return (static_cast<std::uint32_t>(C) & 0x80000000u) != 0; }
inline int GetRValue(TColor C) { return C & 0xFF; }
inline int GetGValue(TColor C) { return (C >> 8) & 0xFF; }
inline int GetBValue(TColor C) { return (C >> 16) & 0xFF; }
inline TColor RGB(int R, int G, int B) { return (R & 0xFF) | ((G & 0xFF) << 8) | ((B & 0xFF) << 16); }

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
FYNDRA_ENUM_NAMES(TFontStyle, fsBold, fsItalic, fsUnderline, fsStrikeOut)
using TFontStyles = TSet<TFontStyle>;

// A font description. Name empty and Size 0 mean the toolkit's default.
class TFont : public TPersistent {
  FYNDRA_CLASS(TFont, TPersistent)
 public:
  TFont() = default;

  const std::string& GetName() const { return Name_; }
  void SetName(const std::string& Value);
  // Points; 0 is the toolkit's default size. A negative size is refused.
  std::int32_t GetSize() const { return Size_; }
  void SetSize(std::int32_t Value);
  TColor GetColor() const { return Color_; }
  void SetColor(TColor Value);
  TFontStyles GetStyle() const { return Style_; }
  void SetStyle(TFontStyles Value);

  void Assign(TPersistent* Source) override;
  bool Equals(const TFont& Other) const;

  // Raised after every change.
  TNotifyEvent OnChange;

 private:
  void Changed();
  std::string Name_;
  std::int32_t Size_ = 0;
  TColor Color_ = clWindowText;
  TFontStyles Style_;
};

}  // namespace fyndra
