// The virtual camcorder as a device: one camcorder in the video input category, with the
// camcorder device class, vendor and model texts, whose filter plays a tape file.
//
// It is set up from the environment:
//   VORNAK_VIRTUAL_CAMCORDER   the tape: a transport-stream or raw DV file, or several
//                              separated by commas, played in order as one tape (a value that
//                              names an existing file is that file); unset or empty: no device
//   VORNAK_VIRTUAL_SPEED       speed factor: 0 (as fast as the sink takes it) or a number
//                              >= 0.01; 1 by default
//   VORNAK_VIRTUAL_MODE        vcr (tape playback, the default) or camera
//   VORNAK_VIRTUAL_VENDOR      vendor text, "Vornak" by default
//   VORNAK_VIRTUAL_MODEL       model text, "Virtual HDV" by default
//   VORNAK_VIRTUAL_LOSE_AFTER  seconds (> 0) after its filter starts running at which the
//                              device is unplugged
//   VORNAK_VIRTUAL_DV_AT       SECONDS[,SECONDS...]: tape positions (>= 0) at which the tape
//                              holds 3 seconds of DV (no stream, output signal DV)
// An empty value counts as unset. Numbers are read with a decimal point whatever the locale.
//
// A camcorder that has been unplugged stays away: once a device of this source is lost, the
// source lists nothing until Replug.
//
// Thread-safe.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "DeviceCatalog.h"

namespace vornak {

class VirtualCamcorderSource : public IDeviceSource {
  public:
    struct Settings {
        std::string tapePath;
        double speed = 1;
        bool cameraMode = false;
        std::string vendor = "Vornak";
        std::string model = "Virtual HDV";
        std::optional<double> loseAfterSeconds;
        std::vector<double> dvAtSeconds;
    };

    // Looks up one environment variable; null when unset.
    using Environment = std::function<const char*(const char*)>;

    explicit VirtualCamcorderSource(Settings settings);

    // Null when VORNAK_VIRTUAL_CAMCORDER is unset or empty (silently), or when a setting is
    // bad or the tape cannot be read (with one line on `errors` that names the variable and
    // its value, or the file and the system's reason).
    static std::shared_ptr<VirtualCamcorderSource> FromEnvironment(std::ostream& errors);
    static std::shared_ptr<VirtualCamcorderSource> FromEnvironment(std::ostream& errors,
                                                                   const Environment& lookup);

    // One device in the video input category while not lost; none in any other.
    std::vector<DeviceDescription> ListDevices(const CLSID& category) override;

    const Settings& GetSettings() const { return m_settings; }
    // A device of this source has been lost.
    bool Lost() const { return m_lost->load(std::memory_order_acquire); }
    // Plugs the camcorder in again: the source lists its device once more.
    void Replug() { m_lost->store(false, std::memory_order_release); }

  private:
    const Settings m_settings;
    // Shared with the filters bound to, which may outlive the source.
    std::shared_ptr<std::atomic<bool>> m_lost;
};

}  // namespace vornak
