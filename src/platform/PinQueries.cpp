#include "PinQueries.h"

#include "GraphInterfaces.h"
#include "Guids.h"

namespace vornak {

std::vector<ComPtr<IPin>> FilterPins(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> enumerator;
    if (filter == nullptr || Failed(filter->EnumPins(enumerator.Receive())) || !enumerator) {
        return pins;
    }
    for (;;) {
        IPin* pin = nullptr;
        ULONG fetched = 0;
        if (enumerator->Next(1, &pin, &fetched) != S_OK || fetched != 1 || pin == nullptr) {
            break;
        }
        pins.push_back(ComPtr<IPin>::Attach(pin));
    }
    return pins;
}

bool IsPinDirection(IPin* pin, PIN_DIRECTION direction) {
    PIN_DIRECTION actual = PINDIR_INPUT;
    return pin != nullptr && Succeeded(pin->QueryDirection(&actual)) && actual == direction;
}

bool IsPinConnected(IPin* pin) {
    return static_cast<bool>(PinPeer(pin));
}

ComPtr<IPin> PinPeer(IPin* pin) {
    ComPtr<IPin> peer;
    if (pin == nullptr || Failed(pin->ConnectedTo(peer.Receive()))) {
        peer.Reset();
    }
    return peer;
}

ComPtr<IBaseFilter> PinFilter(IPin* pin) {
    PIN_INFO info;
    if (pin == nullptr || Failed(pin->QueryPinInfo(&info))) {
        return {};
    }
    return ComPtr<IBaseFilter>::Attach(info.pFilter);
}

bool IsSameObject(IUnknown* a, IUnknown* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    if (a == b) {
        return true;
    }
    ComPtr<IUnknown> identityA;
    ComPtr<IUnknown> identityB;
    if (Failed(a->QueryInterface(IID_IUnknown, identityA.ReceiveVoid())) ||
        Failed(b->QueryInterface(IID_IUnknown, identityB.ReceiveVoid()))) {
        return false;
    }
    return identityA.Get() == identityB.Get();
}

bool PinOffersMajorType(IPin* pin, const GUID& majorType) {
    ComPtr<IEnumMediaTypes> types;
    if (pin == nullptr || Failed(pin->EnumMediaTypes(types.Receive())) || !types) {
        return false;
    }
    for (;;) {
        AM_MEDIA_TYPE* type = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &type, &fetched) != S_OK || fetched != 1) {
            return false;
        }
        const bool match = type->majortype == majorType;
        DeleteMediaType(type);
        if (match) {
            return true;
        }
    }
}

bool PinCategory(IPin* pin, GUID& category) {
    ComPtr<IKsPropertySet> properties;
    if (pin == nullptr ||
        Failed(pin->QueryInterface(IID_IKsPropertySet, properties.ReceiveVoid()))) {
        return false;
    }
    DWORD returned = 0;
    const HRESULT hr = properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0,
                                       &category, sizeof category, &returned);
    return hr == S_OK && returned == sizeof category;
}

void DisconnectBothEnds(IPin* pin) {
    if (ComPtr<IPin> peer = PinPeer(pin)) {
        peer->Disconnect();
    }
    if (pin != nullptr) {
        pin->Disconnect();
    }
}

}  // namespace vornak
