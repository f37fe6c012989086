// The panel: a container with a caption and bevels, used to group controls
// and, aligned to an edge, as a tool bar or status line. The radio group: a
// captioned group of radio buttons, one per entry of Items.
#pragma once

#include <cstdint>

#include <fyndra/platform/classes/classes.h>
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

// One radio button per entry of Items, in Columns columns; ItemIndex is the
// checked button or -1. A button the user clicks is checked when CanModify
// agrees; checking a button (by the user or by setting ItemIndex from code)
// runs Click. Unchecking all (-1) runs nothing.
class TCustomRadioGroup : public TWinControl {
  FYNDRA_CLASS(TCustomRadioGroup, TWinControl)
 public:
  void AfterConstruction() override;
  TStrings* GetItems() const { return Items_.get(); }
  void SetItems(TStrings* Value) { Items_->Assign(Value); }
  std::int32_t GetItemIndex() const { return ItemIndex_; }
  // An index outside the entries checks none (-1).
  virtual void SetItemIndex(std::int32_t Value);
  std::int32_t GetColumns() const { return Columns_; }
  void SetColumns(std::int32_t Value);

  // ---- peer reports
  // The user clicked the button at Index.
  void PeerButtonClicked(std::int32_t Index);

 protected:
  explicit TCustomRadioGroup(TComponent* Owner);
  // An index read before enough entries is dropped (-1).
  void Loaded() override;
  // Whether the user may change the checked button now.
  virtual bool CanModify() { return true; }
  virtual void ItemsChanged(TObject* Sender);

 private:
  TOwned<TStringList> Items_;
  std::int32_t ItemIndex_ = -1;
  std::int32_t Columns_ = 1;
};

class TRadioGroup : public TCustomRadioGroup {
  FYNDRA_CLASS(TRadioGroup, TCustomRadioGroup)
 protected:
  explicit TRadioGroup(TComponent* Owner) : TCustomRadioGroup(Owner) {}
};

}  // namespace fyndra
