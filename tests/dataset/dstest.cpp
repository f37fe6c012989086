#include "dataset/dstest.h"

namespace fyndra::dstest {

FYNDRA_IMPLEMENT_CLASS(TClientTestAdapter)
FYNDRA_IMPLEMENT_CLASS(TLogFindModel)
FYNDRA_IMPLEMENT_CLASS(TTestFilterModel)

}  // namespace fyndra::dstest
