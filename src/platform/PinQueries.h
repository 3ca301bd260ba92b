// Small questions the graph and the capture graph builder ask of pins and filters through
// their interfaces alone (they may be any object, not only our base classes).
#pragma once

#include <vector>

#include "ComPtr.h"
#include "StreamInterfaces.h"

namespace vornak {

// Every pin of the filter, in the order its enumerator gives them.
std::vector<ComPtr<IPin>> FilterPins(IBaseFilter* filter);
bool IsPinDirection(IPin* pin, PIN_DIRECTION direction);
bool IsPinConnected(IPin* pin);
// The pin's peer, or null.
ComPtr<IPin> PinPeer(IPin* pin);
// The filter the pin belongs to, or null.
ComPtr<IBaseFilter> PinFilter(IPin* pin);
// Whether both are faces of one object (compared by their IUnknown).
bool IsSameObject(IUnknown* a, IUnknown* b);
// Whether the pin offers a type of this major type among its preferred types.
bool PinOffersMajorType(IPin* pin, const GUID& majorType);
// The pin's category through its property set; false when it has none.
bool PinCategory(IPin* pin, GUID& category);
// Breaks the pin's connection at both ends (the peer first, so that it lets go of this pin).
void DisconnectBothEnds(IPin* pin);

}  // namespace vornak
