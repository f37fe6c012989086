#include <fyndra/platform/classes/palette.h>

#include <algorithm>
#include <mutex>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

struct TPalette {
  std::mutex Lock;
  std::vector<TPaletteEntry> Entries;
};

TPalette& Palette() {
  static TPalette P;
  return P;
}

}  // namespace

void RegisterComponents(const std::string& Page, std::initializer_list<TClass> Classes) {
  for (TClass Class : Classes) {
    if (!Class) continue;
    RegisterClass(Class);
    TPalette& P = Palette();
    std::lock_guard<std::mutex> Guard(P.Lock);
    const bool Present = std::any_of(P.Entries.begin(), P.Entries.end(), [&](const TPaletteEntry& E) {
      return E.ComponentClass == Class && AnsiSameText(E.Page, Page);
    });
    if (!Present) P.Entries.push_back({Page, Class});
  }
}

std::vector<TPaletteEntry> PaletteEntries() {
  TPalette& P = Palette();
  std::lock_guard<std::mutex> Guard(P.Lock);
  return P.Entries;
}

std::vector<TClass> PaletteClasses(const std::string& Page) {
  std::vector<TClass> Out;
  for (const TPaletteEntry& E : PaletteEntries())
    if (AnsiSameText(E.Page, Page)) Out.push_back(E.ComponentClass);
  return Out;
}

}  // namespace fyndra
