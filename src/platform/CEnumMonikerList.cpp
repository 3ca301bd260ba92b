#include "CEnumMonikerList.h"

namespace vornak {

template class CEnumList<IEnumMoniker, IMoniker*, CEnumMonikerListTraits>;

}  // namespace vornak
