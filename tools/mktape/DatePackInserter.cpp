#include "DatePackInserter.h"

#include "TapeSyntax.h"
#include "TransportPacket.h"
#include "WriteAll.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vornak::tape {

namespace {

using namespace syntax;

constexpr std::uint32_t kGroupStartCode = 0x00000100u | kGroupStart;
constexpr std::uint32_t kStartCodePrefix = 0x000001;
constexpr std::uint32_t kLastThreeBytes = 0xFFFFFF;
constexpr std::uint32_t kLastTwoBytes = 0xFFFF;
constexpr std::uint32_t kLastByte = 0xFF;
constexpr std::size_t kPesFlagsAt = 7;
constexpr std::size_t kPesHeaderLengthAt = 8;
constexpr std::size_t kPesFixedHeader = kPesPrefixSize + kPesOptionalHeader;
// Half the timestamp range: a later time never lies further ahead than this.
constexpr std::uint64_t kHalfTimestampRange = (kTimestampMask + 1) / 2;
constexpr std::size_t kReadChunk = std::size_t{1} << 20;

TransportPacket Whole(const std::uint8_t* pkt) {
    return TransportPacket(std::span<const std::uint8_t, TransportPacket::kSize>(pkt, kPacketSize));
}

std::uint64_t ReadTimestamp(const std::uint8_t* t) {
    return (std::uint64_t(t[0] & 0x0E) << 29) | (std::uint64_t(t[1]) << 22) |
           (std::uint64_t(t[2] >> 1) << 15) | (std::uint64_t(t[3]) << 7) | (t[4] >> 1);
}

// `later` - `earlier` on the 33-bit clock, which wraps about every 26.5 hours.
std::int64_t TicksBetween(std::uint64_t earlier, std::uint64_t later) {
    const std::uint64_t forward = (later - earlier) & kTimestampMask;
    return forward < kHalfTimestampRange
               ? static_cast<std::int64_t>(forward)
               : static_cast<std::int64_t>(forward) - static_cast<std::int64_t>(kTimestampMask + 1);
}

std::int64_t WholeSeconds(std::int64_t ticks) {
    const auto perSecond = static_cast<std::int64_t>(DatePackInserter::kTicksPerSecond);
    return ticks >= 0 ? ticks / perSecond : -((-ticks + perSecond - 1) / perSecond);
}

}  // namespace

DatePackInserter::DatePackInserter(DateInsertOptions options) : m_options(options) {}

bool DatePackInserter::Fail(const std::string& message) {
    m_failed = true;
    m_error = message;
    return false;
}

bool DatePackInserter::Feed(const std::uint8_t* data, std::size_t size,
                            std::vector<std::uint8_t>& out) {
    if (m_failed) {
        return false;
    }
    if (!m_partial.empty()) {
        const std::size_t take = std::min(size, kPacketSize - m_partial.size());
        m_partial.insert(m_partial.end(), data, data + take);
        data += take;
        size -= take;
        if (m_partial.size() < kPacketSize) {
            return true;
        }
        if (!TakePacket(m_partial.data(), out)) {
            return false;
        }
        m_partial.clear();
    }
    for (; size >= kPacketSize; data += kPacketSize, size -= kPacketSize) {
        if (!TakePacket(data, out)) {
            return false;
        }
    }
    m_partial.assign(data, data + size);
    return true;
}

bool DatePackInserter::Finish(std::vector<std::uint8_t>& out) {
    if (m_failed) {
        return false;
    }
    if (!m_partial.empty()) {
        return Fail("ends inside a transport packet: " + std::to_string(m_partial.size()) +
                    " bytes after the last whole one, at byte " +
                    std::to_string(m_packetsIn * kPacketSize));
    }
    if (m_packetsIn == 0) {
        return Fail("is empty");
    }
    if (m_groups == 0) {
        return Fail("holds no picture-group header on PID 0x810: nothing to date");
    }
    Release(m_packetsIn, out);
    return true;
}

bool DatePackInserter::TakePacket(const std::uint8_t* pkt, std::vector<std::uint8_t>& out) {
    const std::uint64_t offset = m_packetsIn * kPacketSize;
    if (pkt[0] != kSyncByte) {
        char found[8];
        std::snprintf(found, sizeof found, "0x%02X", pkt[0]);
        // Copying around damage would hand the tests a stream unlike its source.
        return Fail("is not a stream of 188-byte transport packets: byte " +
                    std::to_string(offset) + " is " + found + ", not the sync byte 0x47");
    }
    if (Whole(pkt).pid() == kPidDate) {
        // Packs of its own and ours side by side would read as two packs per group.
        return Fail("already carries packets on PID 0x811 (the first at byte " +
                    std::to_string(offset) + ")");
    }
    const std::uint64_t index = m_packetsIn++;
    m_held.insert(m_held.end(), pkt, pkt + kPacketSize);
    if (Whole(pkt).pid() == kPidVideo) {
        ScanVideo(pkt, index);
    }
    Release(HoldFrom(), out);
    return true;
}

void DatePackInserter::ScanVideo(const std::uint8_t* pkt, std::uint64_t index) {
    const TransportPacket packet = Whole(pkt);
    if (!packet.has_payload()) {
        return;
    }
    // Lengths from the stream that point outside the packet leave it without payload, as the
    // engine reads it.
    const std::optional<std::size_t> afterAdaptation = packet.payload_offset();
    if (!afterAdaptation) {
        return;
    }
    std::size_t at = *afterAdaptation;
    if (packet.payload_unit_start_indicator()) {
        if (at + kPesFixedHeader > kPacketSize) {
            return;
        }
        const std::uint8_t* pes = pkt + at;
        const std::size_t headerData = pes[kPesHeaderLengthAt];
        const bool prefixOk = pes[0] == 0 && pes[1] == 0 && pes[2] == 1;
        if (prefixOk && (pes[kPesFlagsAt] & kPtsFlag) != 0 && headerData >= kTimestampBytes &&
            at + kPesFixedHeader + kTimestampBytes <= kPacketSize) {
            m_pts = ReadTimestamp(pes + kPesFixedHeader);
            m_hasPts = true;
        }
        at += kPesFixedHeader + headerData;
    }
    if (at >= kPacketSize) {
        return;
    }
    const Origin here{index, m_hasPts, m_pts};
    const std::size_t size = kPacketSize - at;
    const std::uint8_t* es = pkt + at;
    for (std::size_t i = 0; i < size; ++i) {
        m_code = (m_code << 8) | es[i];
        if (m_code == kGroupStartCode) {
            // The code's first byte lies three back: in this packet or in the tail before it.
            OnGroupHeader(i >= kCodeTail ? here : m_tail[i]);
        }
    }
    const std::size_t shift = std::min(size, kCodeTail);
    for (std::size_t k = 0; k + shift < kCodeTail; ++k) {
        m_tail[k] = m_tail[k + shift];
    }
    for (std::size_t k = kCodeTail - shift; k < kCodeTail; ++k) {
        m_tail[k] = here;
    }
}

void DatePackInserter::OnGroupHeader(const Origin& first) {
    // A group before any timestamp keeps the date of the group before it.
    if (first.hasPts) {
        if (!m_hasFirstPts) {
            m_hasFirstPts = true;
            m_firstPts = first.pts;
        }
        m_elapsedTicks = TicksBetween(m_firstPts, first.pts);
    }
    if (m_options.cut && !m_cutDone && m_elapsedTicks >= 0 &&
        static_cast<std::uint64_t>(m_elapsedTicks) >= m_options.cutAfterTicks) {
        m_cutDone = true;
        m_cutGroup = m_groups;
    }
    const std::int64_t seconds = WholeSeconds(m_elapsedTicks) + (m_cutDone ? kSceneJumpSeconds : 0);
    m_scheduled.push_back({first.packet, AddSeconds(m_options.start, seconds)});
    ++m_groups;
}

// The oldest packet that may still hold the beginning of a group header: the last bytes of the
// video stream so far could be the first bytes of one.
std::uint64_t DatePackInserter::HoldFrom() const {
    if ((m_code & kLastThreeBytes) == kStartCodePrefix) {
        return m_tail[0].packet;
    }
    if ((m_code & kLastTwoBytes) == 0) {
        return m_tail[1].packet;
    }
    if ((m_code & kLastByte) == 0) {
        return m_tail[2].packet;
    }
    return m_packetsIn;
}

void DatePackInserter::Release(std::uint64_t before, std::vector<std::uint8_t>& out) {
    std::size_t used = 0;
    while (m_heldFirst < before && used < m_held.size()) {
        out.insert(out.end(), m_held.begin() + static_cast<std::ptrdiff_t>(used),
                   m_held.begin() + static_cast<std::ptrdiff_t>(used + kPacketSize));
        used += kPacketSize;
        while (!m_scheduled.empty() && m_scheduled.front().afterPacket == m_heldFirst) {
            const auto pack =
                packets::DatePack(m_scheduled.front().date, kDateAdaptationLength, m_continuity);
            out.insert(out.end(), pack.begin(), pack.end());
            m_continuity = (m_continuity + 1) & kContinuityMask;
            ++m_packsOut;
            m_scheduled.pop_front();
        }
        ++m_heldFirst;
    }
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(used));
}

bool DatePackInserter::InsertFile(const std::string& input, const std::string& output) {
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return Fail("cannot open " + input + ": " + std::strerror(errno));
    }
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return Fail(error == EEXIST ? output + " already exists; not overwritten"
                                    : "cannot create " + output + ": " + std::strerror(error));
    }

    std::vector<std::uint8_t> buffer(kReadChunk);
    std::vector<std::uint8_t> written;
    written.reserve(kReadChunk + kReadChunk / 2);
    std::string failure;
    int writeError = 0;
    for (bool end = false; !end && failure.empty();) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failure = "cannot read " + input + ": " + std::strerror(errno);
            break;
        }
        end = n == 0;
        const bool ok =
            end ? Finish(written) : Feed(buffer.data(), static_cast<std::size_t>(n), written);
        if (!ok) {
            failure = input + " " + m_error;
        } else if (!WriteAllTo(out, written.data(), written.size(), writeError)) {
            failure = "cannot write " + output + ": " + std::strerror(writeError);
        }
        written.clear();
    }
    ::close(in);
    if (::close(out) != 0 && failure.empty()) {
        failure = "cannot write " + output + ": " + std::strerror(errno);
    }
    if (!failure.empty()) {
        ::unlink(output.c_str());  // created by us a moment ago; half a tape helps nobody
        return Fail(failure);
    }
    return true;
}

}  // namespace vornak::tape
