#include "CamcorderMonikers.h"

#include <cctype>

#include "Com.h"
#include "ComPtr.h"
#include "DeviceCatalog.h"
#include "Guids.h"

namespace vornak {
namespace {

// Room for "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and to spare.
constexpr int kGuidTextChars = 64;

std::string UpperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// A property of the bag as text; empty when it cannot be read.
std::string ReadText(IPropertyBag* bag, const char* name) {
    VARIANT value;
    VariantInit(&value);
    if (Failed(bag->Read(name, &value, nullptr)) || value.vt != VT_BSTR) {
        return {};
    }
    std::string text = std::move(value.bstrVal);
    VariantClear(&value);
    return text;
}

}  // namespace

bool ForEachCamcorder(const CamcorderVisitor& visit) {
    ComPtr<ICreateDevEnum> devices;
    if (Failed(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.ReceiveVoid()))) {
        return false;
    }
    ComPtr<IEnumMoniker> monikers;
    const HRESULT hr =
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Receive(), 0);
    devices.Reset();
    if (Failed(hr) || !monikers) {
        return false;
    }
    char accepted[kGuidTextChars];
    StringFromGUID2(CLSID_CamcorderDeviceClass, accepted, kGuidTextChars);
    const std::string acceptedUpper = UpperCase(accepted);

    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.Receive(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (Failed(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid()))) {
            continue;
        }
        VARIANT deviceClass;
        VariantInit(&deviceClass);
        if (Failed(bag->Read(kDeviceClassGuidProperty, &deviceClass, nullptr))) {
            continue;
        }
        // Exact but for letter case.
        const bool match = VarBstrCmp(UpperCase(deviceClass.bstrVal), acceptedUpper,
                                      LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
        VariantClear(&deviceClass);
        if (!match) {
            continue;
        }
        const std::string vendor = ReadText(bag.Get(), kVendorTextProperty);
        const std::string model = ReadText(bag.Get(), kModelTextProperty);
        bag.Reset();
        if (!visit(moniker.Get(), vendor, model)) {
            break;
        }
    }
    return true;
}

}  // namespace vornak
