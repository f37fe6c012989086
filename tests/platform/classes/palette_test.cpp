// The component palette: pages in registration order, each class once per
// page, and registration for streaming along with it.
#include <fyndra/platform/classes/palette.h>

#include <gtest/gtest.h>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {
namespace {

class TPaletteProbeA : public TComponent {
  FYNDRA_CLASS(TPaletteProbeA, TComponent)
 protected:
  explicit TPaletteProbeA(TComponent* Owner) : TComponent(Owner) {}
};
class TPaletteProbeB : public TComponent {
  FYNDRA_CLASS(TPaletteProbeB, TComponent)
 protected:
  explicit TPaletteProbeB(TComponent* Owner) : TComponent(Owner) {}
};
FYNDRA_IMPLEMENT_CLASS(TPaletteProbeA)
FYNDRA_IMPLEMENT_CLASS(TPaletteProbeB)

TEST(Palette, PagesKeepRegistrationOrderAndEachClassOnce) {
  EXPECT_EQ(GetClass("TPaletteProbeB"), nullptr);
  RegisterComponents("Probe Page", {TPaletteProbeB::StaticClass()});
  RegisterComponents("Probe Page", {TPaletteProbeA::StaticClass(), TPaletteProbeB::StaticClass()});
  RegisterComponents("Other Probe Page", {TPaletteProbeA::StaticClass()});
  EXPECT_EQ(PaletteClasses("probe page"),
            (std::vector<TClass>{TPaletteProbeB::StaticClass(), TPaletteProbeA::StaticClass()}));
  EXPECT_EQ(PaletteClasses("Other Probe Page"), std::vector<TClass>{TPaletteProbeA::StaticClass()});
  EXPECT_TRUE(PaletteClasses("No Such Page").empty());
  // Forms naming the classes can be read.
  EXPECT_EQ(GetClass("TPaletteProbeB"), TPaletteProbeB::StaticClass());
}

}  // namespace
}  // namespace fyndra
