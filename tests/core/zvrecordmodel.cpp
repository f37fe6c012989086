#include "core/zvrecordmodel.h"

namespace fyndra::rectest {

FYNDRA_IMPLEMENT_CLASS(TRecordItem)
FYNDRA_IMPLEMENT_CLASS(TRecordModel)

TRecordItem* TRecordModel::AddItem(const std::string& Name, TVarType DataType, int DataSize, int Key,
                                   TzvCompareItemOptions Options, const Variant& Value) {
  auto* Item = static_cast<TRecordItem*>(GetCompareItems()->Add());
  Item->SetName(Name);
  Item->SetOptions(Options);
  Item->SetDataType(DataType, DataSize);
  Item->SetCompareKey(Key);
  Item->SetAsVariant(Value);
  Item->GetCompareModel()->DoDataChange();
  return Item;
}

void TRecordModel::CreateCompareModelList(TzvCompareModelList*& List) {
  List = Create<TzvCompareModelList>();
  zvRegisterCompareModels(List);
}

void TRecordModel::CreateCompareItems(TzvCompareItems*& Items) {
  Items = Create<TzvCompareItems>(this, TRecordItem::StaticClass());
}

}  // namespace fyndra::rectest
