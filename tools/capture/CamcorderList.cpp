#include "CamcorderList.h"

#include "CamcorderMonikers.h"
#include "Com.h"
#include "ComPtr.h"
#include "DeviceControl.h"
#include "Guids.h"

namespace vornak {
namespace {

// The mode and the signal from the device's own filter, as the capture session reads them once
// it has taken the camcorder: only a device that says "VCR" plays tapes, and only one that says
// "DV" plays DV.
void ReadModeOf(IMoniker* moniker, CamcorderListing& listing) {
    ComPtr<IBaseFilter> filter;
    if (Failed(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.ReceiveVoid())) ||
        !filter) {
        listing.mode = CamcorderListing::Mode::Unavailable;
        return;
    }
    listing.mode = CamcorderListing::Mode::Camera;
    ComPtr<IAMExtDevice> device;
    if (Failed(filter->QueryInterface(IID_IAMExtDevice, device.ReceiveVoid()))) {
        return;
    }
    LONG value = 0;
    if (Succeeded(device->GetCapability(ED_DEVCAP_DEVICE_TYPE, &value, nullptr)) &&
        value == ED_DEVTYPE_VCR) {
        listing.mode = CamcorderListing::Mode::TapePlayback;
    }
    listing.dv = Succeeded(device->GetCapability(VORNAK_DEVCAP_OUTPUT_SIGNAL, &value, nullptr)) &&
                 value == VORNAK_SIGNAL_DV;
}

}  // namespace

std::vector<CamcorderListing> ListCamcorders() {
    std::vector<CamcorderListing> found;
    (void)CoInitialize(nullptr);
    ForEachCamcorder([&](IMoniker* moniker, const std::string& vendor, const std::string& model) {
        CamcorderListing listing{vendor, model};
        ReadModeOf(moniker, listing);
        found.push_back(std::move(listing));
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
    return std::to_string(index) + ": " + listing.vendor + " " + listing.model + " " + mode +
           (listing.dv ? " (DV)" : "");
}

}  // namespace vornak
