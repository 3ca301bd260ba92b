#include "VirtualCamcorderSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "Guids.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualMixedTape.h"

namespace vornak {
namespace {

constexpr char kTapeVariable[] = "VORNAK_VIRTUAL_CAMCORDER";
constexpr char kSpeedVariable[] = "VORNAK_VIRTUAL_SPEED";
constexpr char kModeVariable[] = "VORNAK_VIRTUAL_MODE";
constexpr char kVendorVariable[] = "VORNAK_VIRTUAL_VENDOR";
constexpr char kModelVariable[] = "VORNAK_VIRTUAL_MODEL";
constexpr char kLoseAfterVariable[] = "VORNAK_VIRTUAL_LOSE_AFTER";
constexpr char kDvAtVariable[] = "VORNAK_VIRTUAL_DV_AT";
constexpr char kListSeparator = ',';
constexpr char kVcrMode[] = "vcr";
constexpr char kCameraMode[] = "camera";
constexpr char kMessageStart[] = "Virtual camcorder not set up: ";
constexpr double kSlowestSpeed = 0.01;

// The variable's value; none when it is unset or empty.
std::optional<std::string> Value(const VirtualCamcorderSource::Environment& lookup,
                                 const char* name) {
    const char* value = lookup(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

// The whole text as a finite number; from_chars reads a decimal point whatever the locale
// (the window's toolkit sets the user's locale, which may want a comma).
std::optional<double> ParseNumber(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Numbers of 0 or more separated by commas, none left out; nothing when any is bad.
std::optional<std::vector<double>> ParseSecondsList(const std::string& text) {
    std::vector<double> list;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kListSeparator, start);
        const auto value =
            ParseNumber(text.substr(start, end == std::string::npos ? end : end - start));
        if (!value || *value < 0) {
            return std::nullopt;
        }
        list.push_back(*value);
        if (end == std::string::npos) {
            return list;
        }
        start = end + 1;
    }
}

void ReportValue(std::ostream& errors, const char* name, const std::string& value,
                 const char* expected) {
    errors << kMessageStart << name << "=\"" << value << "\": expected " << expected << '\n';
}

// Why the tape cannot be played, or nothing when it can be read.
std::optional<std::string> TapeProblem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::string(std::strerror(errno));
    }
    struct stat info {};
    const int statResult = ::fstat(fd, &info);
    const int statError = errno;
    ::close(fd);
    if (statResult != 0) {
        return std::string(std::strerror(statError));
    }
    if (S_ISDIR(info.st_mode)) {
        return std::string(std::strerror(EISDIR));
    }
    if (!S_ISREG(info.st_mode)) {
        return std::string("not a regular file");
    }
    return std::nullopt;
}

}  // namespace

VirtualCamcorderSource::VirtualCamcorderSource(Settings settings)
    : m_settings(std::move(settings)), m_lost(std::make_shared<std::atomic<bool>>(false)) {}

std::shared_ptr<VirtualCamcorderSource> VirtualCamcorderSource::FromEnvironment(
    std::ostream& errors) {
    return FromEnvironment(errors, [](const char* name) { return std::getenv(name); });
}

std::shared_ptr<VirtualCamcorderSource> VirtualCamcorderSource::FromEnvironment(
    std::ostream& errors, const Environment& lookup) {
    const auto tape = Value(lookup, kTapeVariable);
    if (!tape) {
        return nullptr;
    }
    Settings settings;
    settings.tapePath = *tape;

    if (const auto text = Value(lookup, kSpeedVariable)) {
        const auto speed = ParseNumber(*text);
        // A speed near 0 but not 0 would play the tape for ages: a capture that never ends.
        if (!speed || *speed < 0 || (*speed > 0 && *speed < kSlowestSpeed)) {
            ReportValue(errors, kSpeedVariable, *text,
                        "0, or a number of 0.01 or more (1 plays at the tape's rate, 0 as fast "
                        "as the capture takes it)");
            return nullptr;
        }
        settings.speed = *speed;
    }
    if (const auto text = Value(lookup, kModeVariable)) {
        if (*text == kCameraMode) {
            settings.cameraMode = true;
        } else if (*text != kVcrMode) {
            ReportValue(errors, kModeVariable, *text, "vcr or camera");
            return nullptr;
        }
    }
    if (const auto text = Value(lookup, kVendorVariable)) {
        settings.vendor = *text;
    }
    if (const auto text = Value(lookup, kModelVariable)) {
        settings.model = *text;
    }
    if (const auto text = Value(lookup, kLoseAfterVariable)) {
        const auto seconds = ParseNumber(*text);
        if (!seconds || *seconds <= 0) {
            ReportValue(errors, kLoseAfterVariable, *text, "a number of seconds greater than 0");
            return nullptr;
        }
        settings.loseAfterSeconds = *seconds;
    }
    if (const auto text = Value(lookup, kDvAtVariable)) {
        const auto seconds = ParseSecondsList(*text);
        if (!seconds) {
            ReportValue(errors, kDvAtVariable, *text,
                        "tape positions in seconds (0 or more), separated by commas");
            return nullptr;
        }
        settings.dvAtSeconds = *seconds;
    }
    for (const std::string& path : VirtualMixedTape::SplitList(settings.tapePath)) {
        if (const auto problem = TapeProblem(path)) {
            errors << kMessageStart << "cannot read the tape \"" << path << "\" (" << kTapeVariable
                   << "): " << *problem << '\n';
            return nullptr;
        }
    }
    return std::make_shared<VirtualCamcorderSource>(std::move(settings));
}

std::vector<DeviceDescription> VirtualCamcorderSource::ListDevices(const CLSID& category) {
    if (category != CLSID_VideoInputDeviceCategory || Lost()) {
        return {};
    }
    DeviceDescription device;
    device.properties = std::map<std::string, std::string>{
        {kDeviceClassGuidProperty, GuidToString(CLSID_CamcorderDeviceClass)},
        {kVendorTextProperty, m_settings.vendor},
        {kModelTextProperty, m_settings.model},
        {kFriendlyNameProperty, m_settings.vendor + " " + m_settings.model},
    };
    device.bind = [settings = m_settings, lost = m_lost](IBaseFilter** filter) -> HRESULT {
        if (filter == nullptr) {
            return E_POINTER;
        }
        *filter = nullptr;
        ComPtr<VirtualCamcorderFilter> camcorder(new VirtualCamcorderFilter());
        if (!camcorder->LoadTape(settings.tapePath)) {
            return E_FAIL;  // the tape went away since the source was set up
        }
        camcorder->SetSpeed(settings.speed);
        camcorder->SetCameraMode(settings.cameraMode);
        camcorder->SetLoseAfter(settings.loseAfterSeconds);
        camcorder->SetDvStretches(settings.dvAtSeconds);
        camcorder->SetLostHandler([lost] { lost->store(true, std::memory_order_release); });
        return HandOut(static_cast<IBaseFilter*>(camcorder.Get()), filter);
    };
    return {std::move(device)};
}

}  // namespace vornak
