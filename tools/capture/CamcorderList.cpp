#include "CamcorderList.h"

#include <cctype>

#include "Com.h"
#include "ComPtr.h"
#include "DeviceCatalog.h"
#include "DeviceControl.h"
#include "DeviceEnum.h"
#include "Guids.h"

namespace vornak {
namespace {

// Room for the braced text form of a GUID and more.
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

// The mode from the device's own filter, as the capture session reads it once it has taken the
// camcorder: only a device that says "VCR" plays tapes.
CamcorderListing::Mode ModeOf(IMoniker* moniker) {
    ComPtr<IBaseFilter> filter;
    if (Failed(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReceiveVoid())) ||
        !filter) {
        return CamcorderListing::Mode::Unavailable;
    }
    ComPtr<IAMExtDevice> device;
    LONG type = 0;
    if (Succeeded(filter->QueryInterface(IID_IAMExtDevice, device.ReceiveVoid())) &&
        Succeeded(device->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, nullptr)) &&
        type == ED_DEVTYPE_VCR) {
        return CamcorderListing::Mode::TapePlayback;
    }
    return CamcorderListing::Mode::Camera;
}

std::vector<CamcorderListing> ListFromEnumerator() {
    std::vector<CamcorderListing> found;
    ComPtr<ICreateDevEnum> devices;
    if (Failed(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.ReceiveVoid()))) {
        return found;
    }
    ComPtr<IEnumMoniker> monikers;
    const HRESULT hr =
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Receive(), 0);
    if (Failed(hr) || !monikers) {
        return found;
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
        const bool match = VarBstrCmp(UpperCase(deviceClass.bstrVal), acceptedUpper,
                                      LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
        VariantClear(&deviceClass);
        if (!match) {
            continue;
        }
        CamcorderListing listing;
        listing.vendor = ReadText(bag.Get(), kVendorTextProperty);
        listing.model = ReadText(bag.Get(), kModelTextProperty);
        bag.Reset();
        listing.mode = ModeOf(moniker.Get());
        found.push_back(std::move(listing));
    }
    return found;
}

}  // namespace

std::vector<CamcorderListing> ListCamcorders() {
    (void)CoInitialize(nullptr);
    std::vector<CamcorderListing> found = ListFromEnumerator();
    CoUninitialize();
    return found;
}

std::string CamcorderListingLine(int index, const CamcorderListing& listing) {
    const char* mode = "(camera)";
    if (listing.mode == CamcorderListing::Mode::TapePlayback) {
        mode = "(tape playback)";
    } else if (listing.mode == CamcorderListing::Mode::Unavailable) {
        mode = "(cannot be opened)";
    }
    return std::to_string(index) + ": " + listing.vendor + " " + listing.model + " " + mode;
}

}  // namespace vornak
