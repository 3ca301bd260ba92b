// The camcorders that vornak-capture can take, numbered as --device counts them: devices of the
// video input category whose class is the camcorder class, in the order the capture session
// meets them (CaptureSession::SetDeviceIndex counts the same way).
#pragma once

#include <string>
#include <vector>

namespace vornak {

struct CamcorderListing {
    enum class Mode {
        TapePlayback,  // the camcorder reports tape playback (VCR)
        Camera,        // anything else: camera mode, or a device type it cannot tell
        Unavailable    // its filter could not be made; the capture passes over it
    };
    std::string vendor;
    std::string model;
    Mode mode = Mode::Unavailable;
    bool dv = false;  // it says it plays DV (a MiniDV camcorder, or a DV stretch of tape)
};

// Asks the system device enumerator now. Empty when there is none or the enumerator fails.
std::vector<CamcorderListing> ListCamcorders();

// "N: VENDOR MODEL (tape playback)" and the like, with " (DV)" after a camcorder that plays DV;
// without a line break.
std::string CamcorderListingLine(int index, const CamcorderListing& listing);

}  // namespace vornak
