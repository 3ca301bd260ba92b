#include "CamcorderList.h"

#include "CamcorderMonikers.h"
#include "Com.h"
#include "ComPtr.h"
#include "DeviceControl.h"
#include "Guids.h"

namespace vornak {
namespace {

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

}  // namespace

std::vector<CamcorderListing> ListCamcorders() {
    std::vector<CamcorderListing> found;
    (void)CoInitialize(nullptr);
    ForEachCamcorder([&](IMoniker* moniker, const std::string& vendor, const std::string& model) {
        found.push_back({vendor, model, ModeOf(moniker)});
        return true;
    });
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
