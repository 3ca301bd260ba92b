#include "VirtualTape.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>

#include "DeviceControl.h"
#include "TransportPacket.h"
#include "TsPacket.h"

namespace vornak {
namespace {

constexpr double kPcrClock = 27'000'000.0;  // program clock ticks per second
// Rates outside this range come from a damaged or odd start, not from a camcorder.
constexpr double kMinPlausibleRate = 100'000.0;
constexpr double kMaxPlausibleRate = 200'000'000.0;
constexpr std::uint64_t kSecondsPerMinute = 60;
constexpr std::uint64_t kMinutesPerHour = 60;
constexpr std::uint64_t kHoursPerDay = 24;

}  // namespace

VirtualTape::~VirtualTape() {
    Close();
}

bool VirtualTape::Open(const std::string& path) {
    Close();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        Close();
        return false;
    }
    m_path = path;
    m_nPackets = static_cast<std::uint64_t>(info.st_size) / PKT_SIZE;
    m_bitRate = MeasureBitRate();
    return true;
}

void VirtualTape::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
    m_path.clear();
    m_nPackets = 0;
    m_bitRate = kDefaultBitRate;
}

std::size_t VirtualTape::Read(std::uint64_t first, std::size_t count, std::uint8_t* dest) const {
    if (m_fd < 0 || first >= m_nPackets) {
        return 0;
    }
    if (count > m_nPackets - first) {
        count = static_cast<std::size_t>(m_nPackets - first);
    }
    const std::size_t wanted = count * PKT_SIZE;
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t n =
            ::pread(m_fd, dest + done, wanted - done, static_cast<off_t>(first * PKT_SIZE + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done / PKT_SIZE;
}

DWORD VirtualTape::TimecodeAt(std::uint64_t packet, double bitRate) {
    if (!(bitRate > 0)) {
        return PackTimecode(0, 0, 0, 0);
    }
    // Whole-numbered products divided once, so that an exact second gives an exact frame.
    const double frames = static_cast<double>(packet) *
                          static_cast<double>(PKT_SIZE * 8 * kFramesPerSecond) / bitRate;
    const auto total = static_cast<std::uint64_t>(std::floor(frames));
    const std::uint64_t seconds = total / kFramesPerSecond;
    const std::uint64_t minutes = seconds / kSecondsPerMinute;
    const std::uint64_t hours = minutes / kMinutesPerHour;
    return PackTimecode(static_cast<unsigned>(hours % kHoursPerDay),
                        static_cast<unsigned>(minutes % kMinutesPerHour),
                        static_cast<unsigned>(seconds % kSecondsPerMinute),
                        static_cast<unsigned>(total % kFramesPerSecond));
}

double VirtualTape::MeasureBitRate() const {
    const std::size_t probePackets =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_nPackets, kRateProbeBytes / PKT_SIZE));
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(probePackets * PKT_SIZE);
    const std::size_t packets = Read(0, probePackets, buffer.get());

    // The first and the last reference of the first PID that carries any.
    int clockPid = -1;
    std::uint64_t firstPcr = 0;
    std::uint64_t lastPcr = 0;
    std::size_t firstAt = 0;
    std::size_t lastAt = 0;
    for (std::size_t i = 0; i < packets; ++i) {
        const TransportPacket packet = WholePacket(buffer.get() + i * PKT_SIZE);
        if (packet.sync_byte() != SYNC_BYTE || (clockPid >= 0 && packet.pid() != clockPid)) {
            continue;
        }
        const auto pcr = packet.program_clock_reference();
        if (!pcr) {
            continue;
        }
        if (clockPid < 0) {
            clockPid = packet.pid();
            firstPcr = *pcr;
            firstAt = i;
        }
        lastPcr = *pcr;
        lastAt = i;
    }
    if (lastAt <= firstAt || lastPcr <= firstPcr) {
        return kDefaultBitRate;
    }
    const double seconds = static_cast<double>(lastPcr - firstPcr) / kPcrClock;
    const double rate = static_cast<double>((lastAt - firstAt) * PKT_SIZE * 8) / seconds;
    return rate >= kMinPlausibleRate && rate <= kMaxPlausibleRate ? rate : kDefaultBitRate;
}

}  // namespace vornak
