// The camcorders of the system's device list: the devices of the video input category whose
// device class is the camcorder class, in list order. The window's capture session takes one of
// them; vornak-capture lists them all.
#pragma once

#include <functional>
#include <string>

#include "DeviceEnum.h"

namespace vornak {

// Calls `visit` for each camcorder with its moniker and its vendor and model texts (empty where
// a text cannot be read), its property bag already let go; `visit` returns false to stop. A
// device whose property bag or class cannot be read is passed over. False when the device list
// cannot be had. Needs CoInitialize on the calling thread.
using CamcorderVisitor =
    std::function<bool(IMoniker* moniker, const std::string& vendor, const std::string& model)>;
bool ForEachCamcorder(const CamcorderVisitor& visit);

}  // namespace vornak
