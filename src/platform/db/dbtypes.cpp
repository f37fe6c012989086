#include <fyndra/platform/db/dbtypes.h>

#include <fyndra/platform/classes/classes.h>

namespace fyndra {

void DatabaseError(const std::string& Message, const TComponent* Component) {
  if (Component && !Component->GetName().empty()) throw EDatabaseError(Component->GetName() + ": " + Message);
  throw EDatabaseError(Message);
}

}  // namespace fyndra
