#include "VirtualMixedTape.h"

#include <sys/stat.h>

#include <algorithm>

namespace vornak {

std::vector<std::string> VirtualMixedTape::SplitList(const std::string& text) {
    struct stat info {};
    if (text.find(kSeparator) == std::string::npos || ::stat(text.c_str(), &info) == 0) {
        return {text};
    }
    std::vector<std::string> paths;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kSeparator, start);
        paths.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return paths;
        }
        start = end + 1;
    }
}

bool VirtualMixedTape::Open(const std::vector<std::string>& paths) {
    Close();
    for (const std::string& path : paths) {
        auto part = std::make_unique<VirtualTape>();
        if (!part->Open(path)) {
            Close();
            m_failedPath = path;
            return false;
        }
        m_parts.push_back(std::move(part));
    }
    return true;
}

void VirtualMixedTape::Close() {
    m_parts.clear();
    m_failedPath.clear();
}

std::vector<TapeTransport::Part> VirtualMixedTape::TransportParts() const {
    std::vector<TapeTransport::Part> parts;
    for (const auto& tape : m_parts) {
        parts.push_back(TapeTransport::Part{tape->UnitCount(), tape->UnitTimeNumerator(),
                                            tape->UnitTimeDenominator(), tape->IsDv()});
    }
    return parts;
}

bool VirtualMixedTape::HasDv() const {
    for (const auto& tape : m_parts) {
        if (tape->IsDv()) {
            return true;
        }
    }
    return false;
}

std::uint64_t VirtualMixedTape::UnitCount() const {
    std::uint64_t units = 0;
    for (const auto& tape : m_parts) {
        units += tape->UnitCount();
    }
    return units;
}

double VirtualMixedTape::BitRate() const {
    for (const auto& tape : m_parts) {
        if (!tape->IsDv()) {
            return tape->BitRate();
        }
    }
    return VirtualTape::kDefaultBitRate;
}

DWORD VirtualMixedTape::TimecodeAt(std::uint64_t position) const {
    double secondsBefore = 0;
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        const VirtualTape& tape = *m_parts[i];
        const std::uint64_t units = tape.UnitCount();
        const bool last = i + 1 == m_parts.size();
        if (position < units || last) {
            if (tape.IsDv()) {
                const std::uint64_t frame = units == 0 ? 0 : std::min(position, units - 1);
                if (const auto own = tape.DvTimecodeAt(frame)) {
                    return *own;
                }
                // No timecode in the frame: as far as the tape's counter has got.
                return VirtualTape::TimecodeAt(
                    0, VirtualTape::kDefaultBitRate,
                    secondsBefore +
                        static_cast<double>(std::min(position, units) * tape.UnitTimeNumerator()) /
                            tape.UnitTimeDenominator());
            }
            return VirtualTape::TimecodeAt(std::min(position, units), tape.BitRate(),
                                           secondsBefore);
        }
        position -= units;
        secondsBefore +=
            static_cast<double>(units * tape.UnitTimeNumerator()) / tape.UnitTimeDenominator();
    }
    return VirtualTape::TimecodeAt(0, VirtualTape::kDefaultBitRate);
}

}  // namespace vornak
