#include <fyndra/platform/classes/datamodule.h>

namespace fyndra {

FYNDRA_PUBLISHED(TDataModule, P) {
  P.Property("OldCreateOrder", &TDataModule::GetOldCreateOrder, &TDataModule::SetOldCreateOrder).Default(false);
  P.Property("Left", &TDataModule::GetLeft, &TDataModule::SetLeft).Default(0);
  P.Property("Top", &TDataModule::GetTop, &TDataModule::SetTop).Default(0);
  P.Property("Height", &TDataModule::GetHeight, &TDataModule::SetHeight).Default(150);
  P.Property("Width", &TDataModule::GetWidth, &TDataModule::SetWidth).Default(215);
}
FYNDRA_REGISTER_CLASS(TDataModule);

}  // namespace fyndra
