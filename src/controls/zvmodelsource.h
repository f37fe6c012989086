// The model source: binds one control to one compare item of a model. It finds
// the item by name and follows the item collection's events, writes the item's
// value into the control when the item changes elsewhere, and writes the
// control's value into the item (converted to the item's data type) on every
// change of the control or only when the control loses the focus. A value
// that does not convert is skipped while typing (unless the source is told to
// report it) and refused on leaving, with the focus put back.
//
// Ownership: a control owns exactly one source, created with the control as
// its owning control and freed with it. The source does not own its model: it
// asks its control for a free notification on the model, and the control
// forwards its Notification so the source forgets a model that goes. The
// source is an item listener of the model's items from SetBaseModel until it
// leaves the model or is freed.
//
// The notify flag breaks the echo: while the source writes the item, the
// item's change event does not rewrite the control; while it writes the
// control, the control's change events do not write the item back.
#pragma once

#include <cstdint>
#include <string>

#include <fyndra/core/zvbasemodel.h>
#include <fyndra/platform/classes/classes.h>

namespace fyndra {

enum TzvUpdateValue : std::uint8_t { uvAuto, uvExit };
FYNDRA_ENUM_NAMES(TzvUpdateValue, uvAuto, uvExit)

class TzvModelSource : public TPersistentInterface, public IItemListener {
  FYNDRA_CLASS(TzvModelSource, TPersistentInterface)
 public:
  // The argument of the virtual constructor: the owning control.
  using TConstructorArg = TComponent*;

  // Takes ShowConvertMessageError from DefaultShowMessage.
  void AfterConstruction() override;
  // Leaves the model's item listeners.
  ~TzvModelSource() override;

  // ---- called by the owning control
  // The control's value changed: written into the item with uvAuto.
  void ChangeNotification();
  // The control is losing the focus: the value is written (a value that does
  // not convert is refused with SInvalidItemValue), then the control shows
  // the item's value in its own text form.
  void ExitNotification();
  // The control is getting the focus; nothing to do.
  void EnterNotification() {}
  // Forwarded from the control's Notification: forgets a model that goes.
  virtual void Notification(TComponent* Component, TOperation Operation);

  // ---- properties
  TzvBaseModel* GetBaseModel() const { return BaseModel_; }
  void SetBaseModel(TzvBaseModel* Value);
  const std::string& GetItemName() const { return ItemName_; }
  // Matched ignoring case; a name that matches no item leaves the source unbound.
  void SetItemName(const std::string& Value);
  TzvUpdateValue GetUpdateValue() const { return UpdateValue_; }
  void SetUpdateValue(TzvUpdateValue Value) { UpdateValue_ = Value; }
  bool GetShowConvertMessageError() const { return ShowConvertMessageError_; }
  void SetShowConvertMessageError(bool Value) { ShowConvertMessageError_ = Value; }
  // Stored only when it differs from DefaultShowMessage().
  bool IsShowMessageStored();

  TComponent* GetControl() const { return Control_; }
  // The bound item, or null.
  TzvCompareItem* GetCompareItem() const { return CompareItem_; }

  // Binds the item named ItemName in BaseModel (or none).
  void UpdateData();
  // Every path into and out of the bound state: ItemChanged runs once per change.
  void SetCompareItem(TzvCompareItem* Item);
  // Item to control (nothing while unbound or while the source writes).
  void SetValue();
  // Control to item; Show says whether a value that does not convert is
  // refused with an error (after the focus is put back into the control).
  void SetItemValue(bool Show);
  void DisableNotify() { Notify_ = false; }
  void EnableNotify() { Notify_ = true; }
  bool IsNotify() const { return Notify_; }

  // Streaming: the source's path is its control's.
  TPersistent* GetOwner() override;

  // ---- IItemListener
  void ItemAdded(TzvCompareItem* Item) override;
  void ItemDeleting(TzvCompareItem* Item) override;
  void ItemValueChanged(TzvCompareItem* Item) override;
  void ItemDataTypeChanged(TzvCompareItem* Item) override;

 protected:
  explicit TzvModelSource(TComponent* Control) : Control_(Control) {}
  void* GetInterface(const TGUID& IID) override;

  // The bound item has been replaced: the control shows the new item's value.
  virtual void ItemChanged();
  // The bound item's data type changed; nothing here.
  virtual void DataTypeChanged() {}
  // Whether control values may be written into the item now.
  virtual bool GetActive() { return true; }
  // The control's current value.
  virtual Variant GetControlValue() = 0;
  // Shows Item's value in the control.
  virtual void SetControlValue(TzvCompareItem* Item) = 0;
  virtual bool DefaultShowMessage() { return false; }

 private:
  TComponent* Control_;                      // not owned: it owns this source
  TzvBaseModel* BaseModel_ = nullptr;        // not owned
  TzvCompareItem* CompareItem_ = nullptr;    // not owned
  std::string ItemName_;
  TzvUpdateValue UpdateValue_ = uvAuto;
  bool ShowConvertMessageError_ = false;
  bool Notify_ = true;
};

// Clears a source's notify flag for one step and sets it again, also when
// the step raises.
class TNotifyGuard {
 public:
  explicit TNotifyGuard(TzvModelSource* Source) : Source_(Source) { Source_->DisableNotify(); }
  ~TNotifyGuard() { Source_->EnableNotify(); }
  TNotifyGuard(const TNotifyGuard&) = delete;
  TNotifyGuard& operator=(const TNotifyGuard&) = delete;

 private:
  TzvModelSource* Source_;
};

// The wiring every bound control shares, over TBase (the platform's control)
// with a source of class TSource: the control owns its source, made before
// the control's own construction work (so changes raised while the control is
// being built reach a source that is still unbound) and freed after its
// destruction; every change of the control reaches the source after the
// control's own change event (OnChange), every loss of focus after its exit
// event (OnExit); Notification is forwarded, so the source forgets a model
// that goes.
template <class TBase, class TSource>
class TzvModelControl : public TBase {
 public:
  TSource* GetModelSource() const { return ModelSource_.get(); }
  void Change() override {
    TBase::Change();
    if (ModelSource_) ModelSource_->ChangeNotification();
  }
  void DoExit() override {
    TBase::DoExit();
    if (ModelSource_) ModelSource_->ExitNotification();
  }

 protected:
  explicit TzvModelControl(TComponent* Owner)
      : TBase(Owner), ModelSource_(Create<TSource>(static_cast<TComponent*>(this))) {}
  void Notification(TComponent* Component, TOperation Operation) override {
    TBase::Notification(Component, Operation);
    if (ModelSource_) ModelSource_->Notification(Component, Operation);
  }

 private:
  TOwned<TSource> ModelSource_;
};

}  // namespace fyndra
