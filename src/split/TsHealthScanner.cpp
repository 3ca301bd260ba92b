#include "TsHealthScanner.h"

#include <algorithm>

#include "TsPacket.h"

namespace vornak {

namespace {

// Size, aspect, frame rate and bit rate: the sequence header's first 7 bytes, of which the
// last gives its two top bits to the bit rate.
constexpr std::size_t kSequenceFieldBytes = 7;
constexpr std::uint8_t kBitRateTail = 0xC0;
// Drop flag, hours, minutes, marker, seconds, pictures, closed and broken-link flags.
constexpr std::size_t kGroupFieldBytes = 4;
// HDV's headers all lie in a PES packet's first two transport packets; what follows is slices.
constexpr std::size_t kHeaderScanBytes = 2 * PKT_SIZE;
constexpr int kHoursPerDay = 24;
constexpr int kMinutesPerHour = 60;
constexpr int kSecondsPerMinute = 60;

// The group's time code in pictures since midnight; none for a field out of range.
std::optional<std::int64_t> GroupTimecode(const std::array<std::uint8_t, 8>& b) {
    const int hours = (b[0] >> 2) & 0x1F;
    const int minutes = ((b[0] & 0x03) << 4) | (b[1] >> 4);
    const int seconds = ((b[1] & 0x07) << 3) | (b[2] >> 5);
    const int pictures = ((b[2] & 0x1F) << 1) | (b[3] >> 7);
    if (hours >= kHoursPerDay || minutes >= kMinutesPerHour || seconds >= kSecondsPerMinute ||
        pictures >= TsHealthScanner::kPicturesPerSecond) {
        return std::nullopt;
    }
    return ((std::int64_t{hours} * kMinutesPerHour + minutes) * kSecondsPerMinute + seconds) *
               TsHealthScanner::kPicturesPerSecond +
           pictures;
}

dv::DvTimecode ToTimecode(std::int64_t pictures) {
    dv::DvTimecode tc;
    tc.frames = static_cast<int>(pictures % TsHealthScanner::kPicturesPerSecond);
    const std::int64_t seconds = pictures / TsHealthScanner::kPicturesPerSecond;
    tc.seconds = static_cast<int>(seconds % kSecondsPerMinute);
    tc.minutes = static_cast<int>(seconds / kSecondsPerMinute % kMinutesPerHour);
    tc.hours = static_cast<int>(seconds / (kSecondsPerMinute * kMinutesPerHour) % kHoursPerDay);
    return tc;
}

std::int64_t Advance(std::int64_t timecode, std::int64_t pictures) {
    return (timecode + pictures) % TsHealthScanner::kPicturesPerDay;
}

}  // namespace

TsHealthScanner::TsHealthScanner(SceneTally& tally, const VideoDecodeCheckMaker& makeDecodeCheck)
    : m_tally(tally) {
    if (makeDecodeCheck) {
        m_decode = makeDecodeCheck();
    }
}

TsHealthScanner::~TsHealthScanner() = default;

void TsHealthScanner::Remember(RecentRing& ring, std::size_t& next, std::uint64_t key,
                               const Place& place) {
    ring[next] = Recent{key, true, place};
    next = (next + 1) % kRecent;
}

const TsHealthScanner::Place* TsHealthScanner::Find(const RecentRing& ring, std::uint64_t key) {
    for (const Recent& recent : ring) {
        if (recent.used && recent.key == key) {
            return &recent.place;
        }
    }
    return nullptr;
}

void TsHealthScanner::Raise(HealthKind kind, std::uint64_t count, const Place& place) {
    HealthEvent event;
    event.kind = kind;
    event.count = count;
    if (place.timecode) {
        event.timecode = ToTimecode(*place.timecode);
    }
    event.offset = place.offset;
    m_tally.AddHealth(place.pos, event);
}

void TsHealthScanner::OnPacket(const PacketInfo& info, std::uint64_t pos, std::int64_t offset) {
    m_packetPos = pos;
    m_packetOffset = offset;

    const std::uint32_t lost = m_continuity.CheckOne(info.packet);
    if (m_continuity.LastJump() == m_packetsChecked) {
        Remember(m_jumps, m_nextJump, m_packetsChecked, CurrentPlace());
    }
    if (lost > 0) {
        const Place* at = Find(m_jumps, m_continuity.LostAt());
        Raise(HealthKind::PacketsLost, lost, at != nullptr ? *at : CurrentPlace());
    }
    ++m_packetsChecked;

    if (info.pid != PID_VIDEO || info.payload == nullptr) {
        return;
    }
    const std::uint8_t* const end = info.packet + PKT_SIZE;
    if (info.unitStart) {
        m_pesPlace = CurrentPlace();
        m_bScanning = true;
        m_scanLeft = kHeaderScanBytes;
        m_code = 0xFFFFFFFFu;
        m_fieldsOf = 0;
        m_bPesTimecodeDue = true;
    }
    if (m_bScanning) {
        ScanHeaders(info.payload, end);
    }
    if (m_decode) {
        if (info.unitStart) {
            ++m_pesTag;
            Remember(m_pes, m_nextPes, m_pesTag, m_pesPlace);
        }
        m_decode->Feed(info.payload, static_cast<std::size_t>(end - info.payload), info.unitStart,
                       m_pesTag);
        TakeDecodeFailures();
    }
}

void TsHealthScanner::ScanHeaders(const std::uint8_t* begin, const std::uint8_t* end) {
    const std::size_t size = std::min(static_cast<std::size_t>(end - begin), m_scanLeft);
    m_scanLeft -= size;
    for (const std::uint8_t* p = begin; p < begin + size && m_bScanning; ++p) {
        if (m_fieldsOf != 0) {
            m_fields[m_fieldsHave++] = *p;
            if (m_fieldsHave == m_fieldsNeed) {
                OnHeaderFields();
                m_fieldsOf = 0;
            }
            continue;
        }
        m_code = (m_code << 8) | *p;
        if ((m_code >> 8) != START_CODE_PREFIX) {
            continue;
        }
        const std::uint8_t low = m_code & 0xFF;
        if (low == SEQUENCE_HEADER_BYTE || low == GROUP_START_BYTE) {
            m_fieldsOf = low;
            m_fieldsHave = 0;
            m_fieldsNeed = low == SEQUENCE_HEADER_BYTE ? kSequenceFieldBytes : kGroupFieldBytes;
            m_code = 0xFFFFFFFFu;
        } else if (low != EXTENSION_START_BYTE && low != USER_DATA_START_BYTE) {
            m_bScanning = false;  // a picture or a slice: the headers are behind
        }
    }
    if (m_scanLeft == 0) {
        m_bScanning = false;
    }
}

void TsHealthScanner::OnHeaderFields() {
    if (m_fieldsOf == SEQUENCE_HEADER_BYTE) {
        std::uint64_t key = 0;
        for (std::size_t i = 0; i < kSequenceFieldBytes; ++i) {
            key = (key << 8) | m_fields[i];
        }
        m_nextSequence = key & ~std::uint64_t{static_cast<std::uint8_t>(~kBitRateTail)};
        return;
    }
    std::optional<std::int64_t> timecode = GroupTimecode(m_fields);
    // A camcorder writes the tape's time code here; an encoder that keeps none writes zeros. A
    // zero is a time code only where the count before it leads to midnight.
    if (timecode == 0 && !(m_current.valid && m_current.timecode &&
                           Advance(*m_current.timecode, m_current.pictures) == 0)) {
        timecode.reset();
    }
    StartGroup(timecode);
}

void TsHealthScanner::StartGroup(std::optional<std::int64_t> timecode) {
    if (m_previous.valid && !m_previous.judged) {
        Judge(m_previous);  // the job never decided on it: it carried on its scene
    }
    Group group;
    group.valid = true;
    group.place = m_pesPlace;
    group.place.timecode = timecode;
    group.timecode = timecode;
    group.sequence = m_nextSequence;
    m_nextSequence.reset();
    if (m_current.valid && m_current.timecode) {
        group.expected = Advance(*m_current.timecode, m_current.pictures);
    }
    m_previous = m_current;
    m_current = group;
}

void TsHealthScanner::Judge(Group& group) {
    group.judged = true;
    if (!group.dated) {
        Raise(HealthKind::NoDatePack, 1, group.place);
    }
    if (group.cut || !m_sceneSequence) {
        m_sceneSequence = group.sequence;
    } else if (group.sequence && *group.sequence != *m_sceneSequence) {
        Raise(HealthKind::SequenceChange, 1, group.place);
    }
    if (!group.cut && group.timecode && group.expected && *group.timecode != *group.expected) {
        Raise(HealthKind::TimecodeJump, 1, group.place);
    }
}

void TsHealthScanner::OnPicture() {
    if (m_current.valid) {
        m_pictureTimecode = m_current.timecode
                                ? std::optional(Advance(*m_current.timecode, m_current.pictures))
                                : std::nullopt;
        ++m_current.pictures;
    }
    const Place place = CurrentPlace();
    Remember(m_pictures, m_nextPicture, place.pos, place);
    if (m_bPesTimecodeDue) {
        // The PES packet's first picture gives it its time code.
        m_bPesTimecodeDue = false;
        m_pesPlace.timecode = m_pictureTimecode;
        const std::size_t last = (m_nextPes + kRecent - 1) % kRecent;
        if (m_decode && m_pes[last].used && m_pes[last].key == m_pesTag) {
            m_pes[last].place.timecode = m_pictureTimecode;
        }
    }
}

void TsHealthScanner::OnDate() {
    if (m_current.valid) {
        m_current.dated = true;
    }
}

void TsHealthScanner::OnBroken(std::uint64_t pos) {
    const Place* at = Find(m_pictures, pos);
    Place place = at != nullptr ? *at : Place{pos, -1, std::nullopt};
    place.pos = pos;
    Raise(HealthKind::BrokenPicture, 1, place);
}

void TsHealthScanner::OnGroupEnds() {
    if (m_previous.valid && !m_previous.judged) {
        Judge(m_previous);
    }
}

void TsHealthScanner::OnGroupKept() {
    if (m_current.valid && !m_current.judged) {
        Judge(m_current);
    }
}

void TsHealthScanner::OnSceneCut() {
    Group& group = m_previous.valid && !m_previous.judged ? m_previous : m_current;
    group.cut = true;
}

void TsHealthScanner::TakeDecodeFailures() {
    m_failed.clear();
    m_decode->TakeFailures(m_failed);
    for (const std::uint64_t tag : m_failed) {
        const Place* at = Find(m_pes, tag);
        Raise(HealthKind::DecodeError, 1, at != nullptr ? *at : CurrentPlace());
    }
}

void TsHealthScanner::Finish() {
    const std::uint32_t lost = m_continuity.Flush();
    if (lost > 0) {
        const Place* at = Find(m_jumps, m_continuity.LostAt());
        Raise(HealthKind::PacketsLost, lost, at != nullptr ? *at : CurrentPlace());
    }
    if (m_decode) {
        m_decode->Flush();
        TakeDecodeFailures();
    }
    OnGroupEnds();
    OnGroupKept();
}

}  // namespace vornak
