#include "CEnumPinList.h"

namespace vornak {

template class CEnumList<IEnumPins, IPin*, CEnumPinListTraits>;

}  // namespace vornak
