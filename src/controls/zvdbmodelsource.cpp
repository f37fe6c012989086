#include <fyndra/controls/zvdbmodelsource.h>

#include <fyndra/dataset/zvdbbasemodel.h>

namespace fyndra {

FYNDRA_IMPLEMENT_CLASS(TzvDBModelSource)

namespace {
TzvDBBaseModel* DBModelOf(TzvCompareItem* Item) {
  return Item ? dynamic_cast<TzvDBBaseModel*>(Item->GetModel()) : nullptr;
}
}  // namespace

void TzvDBModelSource::ItemChanged() {
  TNotifyGuard Quiet(this);
  TzvCompareItem* Item = GetCompareItem();
  auto* FieldItem = dynamic_cast<TzvFieldItem*>(Item);
  TzvDBBaseModel* Model = DBModelOf(Item);
  if (FieldItem && FieldItem->GetField() && Model && !Model->GetComponentState().Contains(csDestroying) &&
      Model->GetActive()) {
    SetControlDataSource(Model->GetInternalDataSource());
    SetControlDataField(Item->GetName());
  } else {
    SetControlDataSource(nullptr);
    SetControlDataField(std::string());
  }
}

void TzvDBModelSource::DataTypeChanged() {
  {
    // Letting go of the old field empties the control; that is not a value
    // for the item.
    TNotifyGuard Quiet(this);
    SetControlDataField(std::string());
  }
  ItemChanged();
}

bool TzvDBModelSource::GetActive() {
  TzvDBBaseModel* Model = DBModelOf(GetCompareItem());
  return Model && Model->GetDataLink() && Model->GetDataLink()->GetActive();
}

}  // namespace fyndra
