// The data-aware model source: binds a data-aware control to the model
// dataset field that carries its compare item. Instead of writing the item's
// value into the control, it points the control at the model's internal data
// source with the item's name as the data field whenever the item has a
// dataset field and the model is active (its dataset open), and clears both
// otherwise; the control then shows and edits the item like any field. While
// it binds or unbinds, nothing the control does is written back.
//
// The source writes control values into the item only while the model's link
// to its dataset is active. A model that is not dataset-bound has no model
// dataset: a source bound to one of its items leaves the control unbound and
// never writes.
//
// Ownership as the model source (zvmodelsource.h); the data-aware controls
// own one each (TzvDBModelControl).
#pragma once

#include <string>

#include <fyndra/controls/zvmodelsource.h>
#include <fyndra/platform/db/datasource.h>

namespace fyndra {

class TzvDBModelSource : public TzvModelSource {
  FYNDRA_CLASS(TzvDBModelSource, TzvModelSource)
 protected:
  explicit TzvDBModelSource(TComponent* Control) : TzvModelSource(Control) {}
  // Binds the control to the model dataset field of the item, or unbinds it.
  void ItemChanged() override;
  // The field goes and comes back with its new type.
  void DataTypeChanged() override;
  // Whether the item's model is dataset-bound and its dataset link active.
  bool GetActive() override;
  virtual void SetControlDataSource(TDataSource* Source) = 0;
  virtual void SetControlDataField(const std::string& Name) = 0;
};

// The wiring every data-aware bound control shares, over the platform's
// data-aware control TBase with a source of class TSource: the source is made
// before the control's own construction work and freed after its destruction,
// Notification is forwarded. The inherited DataSource and DataField are
// published again as read-only empty texts, never stored: only the source
// binds the control. The change hooks are each control's own.
template <class TBase, class TSource>
class TzvDBModelControl : public TBase {
 public:
  TSource* GetModelSource() const { return ModelSource_.get(); }
  // What the republished DataSource and DataField read: always empty.
  const std::string& GetEmptyBinding() const { return Unbound_; }

 protected:
  explicit TzvDBModelControl(TComponent* Owner)
      : TBase(Owner), ModelSource_(Create<TSource>(static_cast<TComponent*>(this))) {}
  void Notification(TComponent* Component, TOperation Operation) override {
    TBase::Notification(Component, Operation);
    if (ModelSource_) ModelSource_->Notification(Component, Operation);
  }

 private:
  std::string Unbound_;  // never written
  TOwned<TSource> ModelSource_;
};

}  // namespace fyndra
