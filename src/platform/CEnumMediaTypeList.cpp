#include "CEnumMediaTypeList.h"

namespace vornak {

template class CEnumList<IEnumMediaTypes, AM_MEDIA_TYPE*, CEnumMediaTypeListTraits>;

}  // namespace vornak
