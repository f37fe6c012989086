// The component palette of a design environment: the pages on which packages
// offer their components, in the order the packages register them. A
// package's registration procedure calls RegisterComponents; a designer reads
// the pages back. Registering a class for the palette also registers it for
// streaming, so that forms naming it can be read.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include <fyndra/platform/classes/system.h>

namespace fyndra {

struct TPaletteEntry {
  std::string Page;
  TClass ComponentClass = nullptr;
};

// Puts Classes on Page after those already there; a class already on that
// page keeps its place.
void RegisterComponents(const std::string& Page, std::initializer_list<TClass> Classes);
// Every entry, in registration order.
std::vector<TPaletteEntry> PaletteEntries();
// The classes on Page (compared without regard to case), in order.
std::vector<TClass> PaletteClasses(const std::string& Page);

}  // namespace fyndra
