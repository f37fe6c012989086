// TDataModule: the root of a form that holds only non-visual components
// (databases, datasets, data sources, query models). Form text names it as
// `object Name: TDataModule`; the class is registered, so reading such text
// creates it.
//
// The geometry properties are what a designer stores about the module's
// window; they do nothing at run time but are kept, so a module read and
// written again loses nothing. OldCreateOrder is accepted for the same reason.
//
// Ownership: a TDataModule owns the components read into it and frees them
// with itself, as every component owner does.
#pragma once

#include <cstdint>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {

class TDataModule : public TComponent {
  FYNDRA_CLASS(TDataModule, TComponent)

 public:
  std::int32_t GetLeft() const { return Left_; }
  void SetLeft(std::int32_t Value) { Left_ = Value; }
  std::int32_t GetTop() const { return Top_; }
  void SetTop(std::int32_t Value) { Top_ = Value; }
  std::int32_t GetHeight() const { return Height_; }
  void SetHeight(std::int32_t Value) { Height_ = Value; }
  std::int32_t GetWidth() const { return Width_; }
  void SetWidth(std::int32_t Value) { Width_ = Value; }
  bool GetOldCreateOrder() const { return OldCreateOrder_; }
  void SetOldCreateOrder(bool Value) { OldCreateOrder_ = Value; }

 protected:
  explicit TDataModule(TComponent* Owner) : TComponent(Owner) {}

 private:
  std::int32_t Left_ = 0;
  std::int32_t Top_ = 0;
  std::int32_t Height_ = 150;
  std::int32_t Width_ = 215;
  bool OldCreateOrder_ = false;
};

}  // namespace fyndra
