#include <fyndra/controls/zvmodelsource.h>

#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/core/zvmodelconverter.h>
#include <fyndra/platform/controls/controls.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

FYNDRA_PUBLISHED(TzvModelSource, P) {
  P.Property("BaseModel", &TzvModelSource::GetBaseModel, &TzvModelSource::SetBaseModel);
  P.Property("ItemName", &TzvModelSource::GetItemName, &TzvModelSource::SetItemName);
  P.Property("ShowConvertMessageError", &TzvModelSource::GetShowConvertMessageError,
             &TzvModelSource::SetShowConvertMessageError)
      .NoDefault()
      .Stored(&TzvModelSource::IsShowMessageStored);
  P.Property("UpdateValue", &TzvModelSource::GetUpdateValue, &TzvModelSource::SetUpdateValue).Default(uvAuto);
}


void TzvModelSource::AfterConstruction() {
  TPersistentInterface::AfterConstruction();
  ShowConvertMessageError_ = DefaultShowMessage();
}

TzvModelSource::~TzvModelSource() {
  if (BaseModel_) BaseModel_->GetCompareItems()->RemoveItemListener(this);
}

void* TzvModelSource::GetInterface(const TGUID& IID) {
  if (IID == IItemListener::IID) return static_cast<IItemListener*>(this);
  return TPersistentInterface::GetInterface(IID);
}

TPersistent* TzvModelSource::GetOwner() { return Control_; }

bool TzvModelSource::IsShowMessageStored() { return ShowConvertMessageError_ != DefaultShowMessage(); }

void TzvModelSource::SetBaseModel(TzvBaseModel* Value) {
  if (Value == BaseModel_) return;
  if (BaseModel_ && !BaseModel_->GetComponentState().Contains(csDestroying)) {
    BaseModel_->GetCompareItems()->RemoveItemListener(this);
    if (Control_) Control_->RemoveFreeNotification(BaseModel_);
  }
  BaseModel_ = Value;
  if (BaseModel_) {
    BaseModel_->GetCompareItems()->AddItemListener(this);
    if (Control_) Control_->FreeNotification(BaseModel_);
  }
  UpdateData();
}

void TzvModelSource::SetItemName(const std::string& Value) {
  if (Value == ItemName_) return;
  ItemName_ = Value;
  UpdateData();
}

void TzvModelSource::UpdateData() {
  if (BaseModel_ && !ItemName_.empty() && !BaseModel_->GetComponentState().Contains(csDestroying))
    SetCompareItem(BaseModel_->GetCompareItems()->FindItem(ItemName_));
  else
    SetCompareItem(nullptr);
}

void TzvModelSource::SetCompareItem(TzvCompareItem* Item) {
  if (Item == CompareItem_) return;
  CompareItem_ = Item;
  ItemChanged();
}

void TzvModelSource::ItemChanged() {
  if (CompareItem_) SetValue();
}

void TzvModelSource::Notification(TComponent* Component, TOperation Operation) {
  if (Operation == opRemove && Component && Component == BaseModel_) SetBaseModel(nullptr);
}

void TzvModelSource::ItemAdded(TzvCompareItem* Item) {
  if (ItemName_.empty()) return;
  if (!Item) {
    UpdateData();
    return;
  }
  if (AnsiCompareText(Item->GetName(), ItemName_) == 0) SetCompareItem(Item);
}

void TzvModelSource::ItemDeleting(TzvCompareItem* Item) {
  if (!Item || Item == CompareItem_) SetCompareItem(nullptr);
}

void TzvModelSource::ItemValueChanged(TzvCompareItem* Item) {
  if (CompareItem_ && (!Item || Item == CompareItem_)) SetValue();
}

void TzvModelSource::ItemDataTypeChanged(TzvCompareItem* Item) {
  if (!Item || Item == CompareItem_) DataTypeChanged();
}

void TzvModelSource::SetValue() {
  if (!CompareItem_ || !Notify_) return;
  TNotifyGuard Guard(this);
  SetControlValue(CompareItem_);
}

void TzvModelSource::SetItemValue(bool Show) {
  if (!CompareItem_ || !Notify_) return;
  if (TzvBaseModel* Model = CompareItem_->GetModel()) {
    const TzvBaseModelState State = Model->GetState();
    if (State.Contains(bsLoading) || State.Contains(bsSetItems)) return;
  }
  TNotifyGuard Guard(this);
  Variant Converted;
  if (TryVarToVar(GetControlValue(), Converted, CompareItem_->GetDataType())) {
    CompareItem_->SetAsVariant(Converted);
    return;
  }
  if (!Show) return;
  if (auto* Win = dynamic_cast<TWinControl*>(Control_); Win && Win->CanFocus()) Win->SetFocus();
  zvBaseModelErrorFmt(LoadResString(SInvalidItemValue), {Variant(VarToStr(GetControlValue())),
                                                         Variant(CompareItem_->GetDisplayLabel())});
}

void TzvModelSource::ChangeNotification() {
  if (UpdateValue_ == uvAuto && GetActive()) SetItemValue(ShowConvertMessageError_);
}

void TzvModelSource::ExitNotification() {
  if (GetActive()) SetItemValue(true);
  SetValue();
}

}  // namespace fyndra
