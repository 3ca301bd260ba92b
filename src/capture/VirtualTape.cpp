#include "VirtualTape.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>
#include <span>

#include "DeviceControl.h"
#include "DvFrameParser.h"
#include "SceneJobFactory.h"
#include "TransportPacket.h"
#include "TsPacket.h"

namespace vornak {
namespace {

constexpr double kPcrClock = 27'000'000.0;  // program clock ticks per second
// Rates outside this range come from a damaged or odd start, not from a camcorder.
constexpr double kMinPlausibleRate = 100'000.0;
constexpr double kMaxPlausibleRate = 200'000'000.0;
// References lie at most 100 ms apart in a conforming stream; a longer step is a join or a gap.
constexpr std::uint64_t kMaxPcrInterval = 27'000'000;  // 1 s of the 27 MHz clock
constexpr std::uint64_t kSecondsPerMinute = 60;
constexpr std::uint64_t kMinutesPerHour = 60;
constexpr std::uint64_t kHoursPerDay = 24;
// DV frames last 1/25 s (625/50) or 1001/30000 s (525/60).
constexpr std::uint64_t kFrameTime625Numerator = 1;
constexpr double kFrameTime625Denominator = 25;
constexpr std::uint64_t kFrameTime525Numerator = 1001;
constexpr double kFrameTime525Denominator = 30000;

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
    m_bDv = ProbeTapeFormat(path) == TapeFormat::kDv;
    if (m_bDv) {
        // The system is the first frame's: a tape is recorded in one.
        std::uint8_t header[dv::kBlockSize] = {};
        const bool pal = ::pread(m_fd, header, sizeof header, 0) == sizeof header &&
                         (header[dv::kHeaderDsfByte] & dv::kDsfBit) != 0;
        m_system = pal ? dv::DvSystem::k625_50 : dv::DvSystem::k525_60;
        m_nUnitSize = dv::FrameSizeOf(m_system);
    } else {
        m_nUnitSize = PKT_SIZE;
    }
    m_nUnits = static_cast<std::uint64_t>(info.st_size) / m_nUnitSize;
    m_bitRate = m_bDv ? kDefaultBitRate : MeasureBitRate();
    return true;
}

void VirtualTape::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
    m_path.clear();
    m_bDv = false;
    m_system = dv::DvSystem::k625_50;
    m_nUnitSize = PKT_SIZE;
    m_nUnits = 0;
    m_bitRate = kDefaultBitRate;
}

std::uint64_t VirtualTape::UnitTimeNumerator() const {
    if (!m_bDv) {
        return PKT_SIZE * 8;
    }
    return m_system == dv::DvSystem::k625_50 ? kFrameTime625Numerator : kFrameTime525Numerator;
}

double VirtualTape::UnitTimeDenominator() const {
    if (!m_bDv) {
        return m_bitRate;
    }
    return m_system == dv::DvSystem::k625_50 ? kFrameTime625Denominator : kFrameTime525Denominator;
}

std::size_t VirtualTape::Read(std::uint64_t first, std::size_t count, std::uint8_t* dest) const {
    if (m_fd < 0 || first >= m_nUnits) {
        return 0;
    }
    if (count > m_nUnits - first) {
        count = static_cast<std::size_t>(m_nUnits - first);
    }
    const std::size_t wanted = count * m_nUnitSize;
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t n = ::pread(m_fd, dest + done, wanted - done,
                                  static_cast<off_t>(first * m_nUnitSize + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done / m_nUnitSize;
}

std::optional<DWORD> VirtualTape::DvTimecodeAt(std::uint64_t frame) const {
    if (!m_bDv) {
        return std::nullopt;
    }
    auto bytes = std::make_unique_for_overwrite<std::uint8_t[]>(m_nUnitSize);
    if (Read(frame, 1, bytes.get()) != 1) {
        return std::nullopt;
    }
    dv::DvFrameInfo info;
    if (!dv::DvFrameParser::Parse(std::span<const std::uint8_t>(bytes.get(), m_nUnitSize), info) ||
        !info.timecode) {
        return std::nullopt;
    }
    const dv::DvTimecode& tc = *info.timecode;
    return PackTimecode(static_cast<unsigned>(tc.hours), static_cast<unsigned>(tc.minutes),
                        static_cast<unsigned>(tc.seconds), static_cast<unsigned>(tc.frames));
}

DWORD VirtualTape::TimecodeAt(std::uint64_t packet, double bitRate, double secondsBefore) {
    if (!(bitRate > 0)) {
        return PackTimecode(0, 0, 0, 0);
    }
    // Whole-numbered products divided once, so that an exact second gives an exact frame.
    const double frames = std::max(secondsBefore, 0.0) * kFramesPerSecond +
                          static_cast<double>(packet) *
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
        static_cast<std::size_t>(std::min<std::uint64_t>(m_nUnits, kRateProbeBytes / PKT_SIZE));
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(probePackets * PKT_SIZE);
    const std::size_t packets = Read(0, probePackets, buffer.get());

    // The packets and clock ticks between neighbouring references of the first PID that carries
    // any, summed over the intervals where the clock moves on at a plausible pace: a tape of
    // recordings joined end to end starts its clock anew at each join, and an interval across
    // one says nothing of the rate.
    int clockPid = -1;
    bool havePcr = false;
    std::uint64_t lastPcr = 0;
    std::size_t lastAt = 0;
    std::uint64_t ticks = 0;
    std::size_t intervalPackets = 0;
    for (std::size_t i = 0; i < packets; ++i) {
        const TransportPacket packet = WholePacket(buffer.get() + i * PKT_SIZE);
        if (packet.sync_byte() != SYNC_BYTE || (clockPid >= 0 && packet.pid() != clockPid)) {
            continue;
        }
        const auto pcr = packet.program_clock_reference();
        if (!pcr) {
            continue;
        }
        clockPid = packet.pid();
        if (havePcr && *pcr > lastPcr && *pcr - lastPcr <= kMaxPcrInterval) {
            ticks += *pcr - lastPcr;
            intervalPackets += i - lastAt;
        }
        havePcr = true;
        lastPcr = *pcr;
        lastAt = i;
    }
    if (ticks == 0 || intervalPackets == 0) {
        return kDefaultBitRate;
    }
    const double seconds = static_cast<double>(ticks) / kPcrClock;
    const double rate = static_cast<double>(intervalPackets * PKT_SIZE * 8) / seconds;
    return rate >= kMinPlausibleRate && rate <= kMaxPlausibleRate ? rate : kDefaultBitRate;
}

}  // namespace vornak
