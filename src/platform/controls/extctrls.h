// The panel: a container with a caption and bevels, used to group controls
// and, aligned to an edge, as a tool bar or status line.
#pragma once

#include <cstdint>

#include <fyndra/platform/controls/controls.h>

namespace fyndra {

enum TBevelCut : std::uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
FYNDRA_ENUM_NAMES(TBevelCut, bvNone, bvLowered, bvRaised, bvSpace)

class TPanel : public TWinControl {
  FYNDRA_CLASS(TPanel, TWinControl)
 public:
  TAlignment GetAlignment() const { return Alignment_; }
  void SetAlignment(TAlignment Value);
  TBevelCut GetBevelOuter() const { return BevelOuter_; }
  void SetBevelOuter(TBevelCut Value);
  TBevelCut GetBevelInner() const { return BevelInner_; }
  void SetBevelInner(TBevelCut Value);
  // The room kept free inside the bevels; aligned children keep off it.
  std::int32_t GetBorderWidth() const { return BorderWidth_; }
  void SetBorderWidth(std::int32_t Value);
  // The border width and one pixel for each bevel.
  std::int32_t ClientMargin() const override;

 protected:
  explicit TPanel(TComponent* Owner);

 private:
  TAlignment Alignment_ = taCenter;
  TBevelCut BevelOuter_ = bvRaised;
  TBevelCut BevelInner_ = bvNone;
  std::int32_t BorderWidth_ = 0;
};

}  // namespace fyndra
