#include "TapeWriter.h"

#include "TapeSyntax.h"
#include "WriteAll.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vornak::tape {

namespace {

using namespace syntax;

// Display time of the first picture; leaves room for the earlier DTS and PCR values.
constexpr std::uint64_t kTimelineStart = 90000;
// Video arrives half a second before it is decoded, as a decoder buffer asks.
constexpr std::uint64_t kPcrLead = 45000;
constexpr int kPsiEveryPictures = 3;                  // PAT and PMT every 120 ms
constexpr int kPicturesPerAnchor = 3;                 // I or P picture followed by two B pictures
constexpr std::size_t kDefaultPictureBytes = 125000;  // 25 Mbit/s at 25 pictures per second

// The engine must have seen the group header when the date arrives: put the packs a few
// packets into the I picture.
constexpr std::size_t kFirstDatePackAfter = 3;
constexpr std::size_t kSecondDatePackAfter = 6;

constexpr std::size_t kBlockBytes = kPacketSize * 22310;  // about 4 MiB
constexpr std::uint32_t kSeedMix = 0x9E3779B9;
// The picture size of a group whose sequence header changes.
constexpr int kOtherWidth = 1280;
constexpr int kOtherHeight = 720;

// One PSI section in one packet, pointer field 0, rest stuffed.
std::vector<std::uint8_t> PsiPacket(int pid, std::uint8_t tableId, int idExtension,
                                    const std::vector<std::uint8_t>& body) {
    constexpr std::size_t kAfterLength = 5;  // id extension, version, section numbers
    constexpr std::size_t kCrcBytes = 4;
    std::vector<std::uint8_t> pkt(kPacketSize, kStuffing);
    PutHeader(pkt.data(), pid, true, kPayloadOnly, 0);
    std::vector<std::uint8_t> section;
    const std::size_t length = kAfterLength + body.size() + kCrcBytes;
    section.push_back(tableId);
    section.push_back(static_cast<std::uint8_t>(0xB0 | (length >> 8)));  // syntax indicator
    section.push_back(static_cast<std::uint8_t>(length & 0xFF));
    section.push_back(static_cast<std::uint8_t>(idExtension >> 8));
    section.push_back(static_cast<std::uint8_t>(idExtension & 0xFF));
    section.push_back(0xC1);  // version 0, current
    section.push_back(0x00);
    section.push_back(0x00);
    section.insert(section.end(), body.begin(), body.end());
    const std::uint32_t crc = Crc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        section.push_back(static_cast<std::uint8_t>(crc >> shift));
    }
    pkt[kHeaderSize] = 0;  // pointer_field
    std::copy(section.begin(), section.end(), pkt.begin() + kHeaderSize + 1);
    return pkt;
}

void PutTimestamp(std::uint8_t* out, std::uint8_t prefix, std::uint64_t value) {
    value &= kTimestampMask;
    out[0] = static_cast<std::uint8_t>((prefix << 4) | ((value >> 29) & 0x0E) | 1);
    out[1] = static_cast<std::uint8_t>(value >> 22);
    out[2] = static_cast<std::uint8_t>(((value >> 14) & 0xFE) | 1);
    out[3] = static_cast<std::uint8_t>(value >> 7);
    out[4] = static_cast<std::uint8_t>(((value << 1) & 0xFE) | 1);
}

// PES header with optional PTS (and DTS); unless `bounded`, the PES length is left at 0.
void AppendPesHeader(std::vector<std::uint8_t>& out, std::uint8_t streamId, std::size_t payload,
                     bool bounded, bool hasPts, std::uint64_t pts, bool hasDts, std::uint64_t dts) {
    const std::size_t data = (hasPts ? kTimestampBytes : 0) + (hasDts ? kTimestampBytes : 0);
    const std::size_t length = bounded ? kPesOptionalHeader + data + payload : 0;
    out.insert(out.end(), {0x00, 0x00, 0x01, streamId, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length & 0xFF)});
    out.push_back(streamId == kStreamIdVideo ? kPesMarkerAligned : kPesMarker);
    out.push_back(static_cast<std::uint8_t>((hasPts ? kPtsFlag : 0) | (hasDts ? kDtsFlag : 0)));
    out.push_back(static_cast<std::uint8_t>(data));
    const std::size_t at = out.size();
    out.resize(at + data);
    if (hasPts) {
        PutTimestamp(&out[at], hasDts ? kPtsWithDtsPrefix : kPtsOnlyPrefix, pts);
    }
    if (hasDts) {
        PutTimestamp(&out[at + kTimestampBytes], kDtsPrefix, dts);
    }
}

struct Pcr {
    std::uint64_t base = 0;
    bool randomAccess = false;
};

// Writes the next transport packet of a PES packet held in [data, data + remaining).
void PutPesPacket(std::uint8_t* pkt, int pid, bool unitStart, std::uint8_t& continuity,
                  const std::uint8_t*& data, std::size_t& remaining, const Pcr* pcr) {
    const std::size_t room = kMaxPayload - (pcr ? kPcrFieldBytes : 0);
    const std::size_t take = std::min(room, remaining);
    const std::size_t field = kMaxPayload - take;  // adaptation field with its length byte
    PutHeader(pkt, pid, unitStart, field ? kAdaptationAndPayload : kPayloadOnly, continuity);
    continuity = (continuity + 1) & kContinuityMask;
    if (field > 0) {
        std::uint8_t* af = pkt + kAdaptationLengthOffset;
        af[0] = static_cast<std::uint8_t>(field - 1);
        std::memset(af + 1, kStuffing, field - 1);
        if (field > 1) {
            af[1] = 0;
        }
        if (pcr) {
            const std::uint64_t base = pcr->base & kTimestampMask;
            af[1] =
                static_cast<std::uint8_t>(kPcrFlag | (pcr->randomAccess ? kRandomAccessFlag : 0));
            af[2] = static_cast<std::uint8_t>(base >> 25);
            af[3] = static_cast<std::uint8_t>(base >> 17);
            af[4] = static_cast<std::uint8_t>(base >> 9);
            af[5] = static_cast<std::uint8_t>(base >> 1);
            af[6] = static_cast<std::uint8_t>(((base & 1) << 7) | 0x7E);  // reserved, extension 0
            af[7] = 0;
        }
    }
    std::memcpy(pkt + kHeaderSize + field, data, take);
    data += take;
    remaining -= take;
}

std::vector<std::uint8_t> Packetize(int pid, const std::vector<std::uint8_t>& pes,
                                    std::uint8_t& continuity) {
    std::vector<std::uint8_t> out;
    const std::uint8_t* data = pes.data();
    std::size_t remaining = pes.size();
    bool first = true;
    while (remaining > 0) {
        out.resize(out.size() + kPacketSize);
        PutPesPacket(&out[out.size() - kPacketSize], pid, first, continuity, data, remaining,
                     nullptr);
        first = false;
    }
    return out;
}

std::uint8_t Bcd(int value) {
    return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

void PutDatePack(std::uint8_t* pkt, const DateTime& date, int adaptationLength,
                 std::uint8_t continuity) {
    const std::size_t length = std::clamp<std::size_t>(
        static_cast<std::size_t>(std::max(adaptationLength, 0)), 0, kMaxPayload - 1);
    std::memset(pkt, kStuffing, kPacketSize);
    PutHeader(pkt, kPidDate, true, kAdaptationAndPayload, continuity);
    pkt[kAdaptationLengthOffset] = static_cast<std::uint8_t>(length);
    if (length > 0) {
        pkt[kAdaptationLengthOffset + 1] = 0;  // no adaptation flags
    }
    const std::size_t pes = kAdaptationLengthOffset + 1 + length;
    const std::uint8_t fields[][2] = {
        {kDateDay, Bcd(date.day)},         {kDateMonth, Bcd(date.month)},
        {kDateYear, Bcd(date.year % 100)}, {kDateSecond, Bcd(date.second)},
        {kDateMinute, Bcd(date.minute)},   {kDateHour, Bcd(date.hour)}};
    if (pes + kPesPrefixSize > kPacketSize) {
        return;  // no room for the PES at all: a pack without a date
    }
    const std::size_t pesLength = kPacketSize - pes - kPesPrefixSize;
    const std::uint8_t prefix[] = {0x00,
                                   0x00,
                                   0x01,
                                   kStreamIdPrivate2,
                                   static_cast<std::uint8_t>(pesLength >> 8),
                                   static_cast<std::uint8_t>(pesLength & 0xFF)};
    std::memcpy(pkt + pes, prefix, sizeof prefix);
    for (const auto& field : fields) {
        if (pes + field[0] < kPacketSize) {
            pkt[pes + field[0]] = field[1];
        }
    }
}

std::size_t PictureHeaderBytes(int type) {
    // temporal reference, type, vbv_delay, f_code slots for P and B, extra_bit_picture
    const int bits = 10 + 3 + 16 + (type == kTypeP ? 4 : type == kTypeB ? 8 : 0) + 1;
    return kStartCodeBytes + static_cast<std::size_t>((bits + 7) / 8);
}

std::size_t PictureBytes(int type, std::size_t bytes, int slices) {
    const std::size_t fixed = PictureHeaderBytes(type) + kPictureCodingExtensionBytes;
    const std::size_t least =
        fixed + static_cast<std::size_t>(slices) * (kStartCodeBytes + kMinSlicePayload);
    return std::max(bytes, least);
}

void AppendPicture(std::vector<std::uint8_t>& out, int type, int temporalReference,
                   std::size_t bytes, int slices, std::uint32_t& rng) {
    const std::size_t begin = out.size();
    PutStartCode(out, kPictureStart);
    {
        BitWriter bits(out);
        bits.Put(static_cast<std::uint32_t>(temporalReference), 10);
        bits.Put(static_cast<std::uint32_t>(type), 3);
        bits.Put(kVbvDelayUnknown, 16);
        if (type == kTypeP || type == kTypeB) {
            bits.Put(0, 1);
            bits.Put(kVectorCode, 3);
        }
        if (type == kTypeB) {
            bits.Put(0, 1);
            bits.Put(kVectorCode, 3);
        }
        bits.Put(0, 1);
        bits.Align();
    }
    PutStartCode(out, kExtensionStart);
    {
        const int forward = type == kTypeI ? kUnusedFCode : kMotionFCode;
        const int backward = type == kTypeB ? kMotionFCode : kUnusedFCode;
        BitWriter bits(out);
        bits.Put(kPictureCodingExtensionId, 4);
        bits.Put(static_cast<std::uint32_t>(forward), 4);
        bits.Put(static_cast<std::uint32_t>(forward), 4);
        bits.Put(static_cast<std::uint32_t>(backward), 4);
        bits.Put(static_cast<std::uint32_t>(backward), 4);
        bits.Put(0, 2);  // intra_dc_precision
        bits.Put(kFrameStructure, 2);
        bits.Put(1, 1);  // top_field_first
        bits.Put(0, 9);  // the remaining flags, interlaced frame
        bits.Align();
    }
    const std::size_t total = PictureBytes(type, bytes, slices);
    const std::size_t headers = out.size() - begin;
    const std::size_t payload =
        total - headers - static_cast<std::size_t>(slices) * kStartCodeBytes;
    const std::size_t each = slices > 0 ? payload / static_cast<std::size_t>(slices) : 0;
    const std::size_t extra = slices > 0 ? payload % static_cast<std::size_t>(slices) : payload;
    out.resize(begin + total);
    std::uint8_t* p = out.data() + begin + headers;
    for (int s = 1; s <= slices; ++s) {
        const std::size_t size = each + (static_cast<std::size_t>(s - 1) < extra ? 1 : 0);
        p[0] = 0x00;
        p[1] = 0x00;
        p[2] = 0x01;
        p[3] = static_cast<std::uint8_t>(s);  // slice_vertical_position
        p[4] = kSliceHeaderByte;
        FillRandom(p + kStartCodeBytes + 1, size - 1, rng);
        p += kStartCodeBytes + size;
    }
    if (slices <= 0) {
        FillRandom(p, payload, rng);
    }
}

void AppendSequenceHeader(std::vector<std::uint8_t>& out, int width, int height) {
    PutStartCode(out, kSequenceStart);
    {
        BitWriter bits(out);
        bits.Put(static_cast<std::uint32_t>(width) & 0xFFF, 12);
        bits.Put(static_cast<std::uint32_t>(height) & 0xFFF, 12);
        bits.Put(kAspect16By9, 4);
        bits.Put(kFrameRate25, 4);
        bits.Put(kBitRateUnits, 18);
        bits.Put(1, 1);  // marker
        bits.Put(kVbvBufferSize, 10);
        bits.Put(0, 3);  // constrained parameters, no quantiser matrices
    }
    PutStartCode(out, kExtensionStart);
    BitWriter bits(out);
    bits.Put(kSequenceExtensionId, 4);
    bits.Put(kMainAtHigh1440, 8);
    bits.Put(0, 1);  // progressive_sequence: HDV 1080 is interlaced
    bits.Put(kChroma420, 2);
    bits.Put(0, 2 + 2 + 12);  // size and bit rate extensions
    bits.Put(1, 1);           // marker
    bits.Put(0, 8 + 1 + 2 + 5);
}

// `frames` counts pictures from the start of the tape; it gives the group's time code.
void AppendGopHeader(std::vector<std::uint8_t>& out, bool closed, bool brokenLink,
                     std::uint64_t frames) {
    const std::uint64_t seconds = frames / kPicturesPerSecond;
    PutStartCode(out, kGroupStart);
    BitWriter bits(out);
    bits.Put(0, 1);  // drop_frame_flag
    bits.Put(static_cast<std::uint32_t>(seconds / 3600 % 24), 5);
    bits.Put(static_cast<std::uint32_t>(seconds / 60 % 60), 6);
    bits.Put(1, 1);  // marker
    bits.Put(static_cast<std::uint32_t>(seconds % 60), 6);
    bits.Put(static_cast<std::uint32_t>(frames % kPicturesPerSecond), 6);
    bits.Put(closed ? 1 : 0, 1);
    bits.Put(brokenLink ? 1 : 0, 1);
    bits.Align();
}

// Coded order I B B P B B P ...: picture types and display positions within a group.
int CodedType(int k) {
    if (k == 0) {
        return kTypeI;
    }
    return (k - 1) % kPicturesPerAnchor == kPicturesPerAnchor - 1 ? kTypeP : kTypeB;
}

int TemporalReference(int k) {
    if (k == 0) {
        return kPicturesPerAnchor - 1;
    }
    const int run = (k - 1) / kPicturesPerAnchor;
    const int at = (k - 1) % kPicturesPerAnchor;
    return at == kPicturesPerAnchor - 1 ? kPicturesPerAnchor * run + 2 * kPicturesPerAnchor - 1
                                        : kPicturesPerAnchor * run + at;
}

std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, DateTime& out) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    out.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    out.year = static_cast<int>(yoe + era * 400 + (out.month <= 2));
}

bool Contains(const std::vector<long>& list, std::uint64_t value) {
    return std::find(list.begin(), list.end(), static_cast<long>(value)) != list.end();
}

// Collects packets into large blocks for the sink; counts every byte handed over.
class BlockOutput {
  public:
    explicit BlockOutput(const std::function<bool(const std::uint8_t*, std::size_t)>& sink)
        : m_sink(sink), m_block(kBlockBytes) {}

    std::uint8_t* Packet() {
        if (m_used + kPacketSize > m_block.size()) {
            Flush();
        }
        std::uint8_t* p = m_block.data() + m_used;
        m_used += kPacketSize;
        m_offset += kPacketSize;
        return p;
    }
    void Raw(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            if (m_used == m_block.size()) {
                Flush();
            }
            const std::size_t take = std::min(size, m_block.size() - m_used);
            std::memcpy(m_block.data() + m_used, data, take);
            m_used += take;
            m_offset += take;
            data += take;
            size -= take;
        }
    }
    void Flush() {
        if (m_used > 0 && m_ok) {
            m_ok = m_sink(m_block.data(), m_used);
        }
        m_used = 0;
    }
    std::uint64_t Offset() const { return m_offset; }
    bool Ok() const { return m_ok; }

  private:
    const std::function<bool(const std::uint8_t*, std::size_t)>& m_sink;
    std::vector<std::uint8_t> m_block;
    std::size_t m_used = 0;
    std::uint64_t m_offset = 0;
    bool m_ok = true;
};

}  // namespace

DateTime AddSeconds(const DateTime& date, std::int64_t seconds) {
    constexpr std::int64_t kDay = 86400;
    std::int64_t total = DaysFromCivil(date.year, date.month, date.day) * kDay + date.hour * 3600 +
                         date.minute * 60 + date.second + seconds;
    std::int64_t days = total / kDay;
    std::int64_t rest = total % kDay;
    if (rest < 0) {
        rest += kDay;
        --days;
    }
    DateTime out;
    CivilFromDays(days, out);
    out.hour = static_cast<int>(rest / 3600);
    out.minute = static_cast<int>(rest / 60 % 60);
    out.second = static_cast<int>(rest % 60);
    return out;
}

bool operator==(const DateTime& a, const DateTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

namespace packets {

std::vector<std::uint8_t> Pat() {
    const std::vector<std::uint8_t> body = {0x00, kProgramNumber, 0xE0 | (kPidPmt >> 8),
                                            kPidPmt & 0xFF};
    return PsiPacket(kPidPat, kTablePat, kTransportStreamId, body);
}

std::vector<std::uint8_t> Pmt(bool audio) {
    std::vector<std::uint8_t> body = {0xE0 | (kPidVideo >> 8), kPidVideo & 0xFF, 0xF0, 0x00};
    auto stream = [&body](std::uint8_t type, int pid) {
        body.insert(body.end(), {type, static_cast<std::uint8_t>(0xE0 | (pid >> 8)),
                                 static_cast<std::uint8_t>(pid & 0xFF), 0xF0, 0x00});
    };
    stream(kStreamTypeVideo, kPidVideo);
    if (audio) {
        stream(kStreamTypeAudio, kPidAudio);
    }
    stream(kStreamTypeDate, kPidDate);
    return PsiPacket(kPidPmt, kTablePmt, kProgramNumber, body);
}

std::vector<std::uint8_t> DatePack(const DateTime& date, int adaptationLength,
                                   std::uint8_t continuity) {
    std::vector<std::uint8_t> pkt(kPacketSize);
    PutDatePack(pkt.data(), date, adaptationLength, continuity);
    return pkt;
}

std::vector<std::uint8_t> VideoPes(const std::vector<std::uint8_t>& es, std::uint8_t& continuity,
                                   std::uint64_t pts, std::uint64_t dts) {
    std::vector<std::uint8_t> pes;
    AppendPesHeader(pes, kStreamIdVideo, es.size(), false, pts != 0, pts, pts != 0 && dts != 0,
                    dts);
    pes.insert(pes.end(), es.begin(), es.end());
    return Packetize(kPidVideo, pes, continuity);
}

std::vector<std::uint8_t> AudioPes(const std::vector<std::uint8_t>& es, std::uint8_t& continuity,
                                   std::uint64_t pts) {
    std::vector<std::uint8_t> pes;
    AppendPesHeader(pes, kStreamIdAudio, es.size(), true, true, pts, false, 0);
    pes.insert(pes.end(), es.begin(), es.end());
    return Packetize(kPidAudio, pes, continuity);
}

std::vector<std::uint8_t> SequenceHeader(int width, int height) {
    std::vector<std::uint8_t> out;
    AppendSequenceHeader(out, width, height);
    return out;
}

std::vector<std::uint8_t> GopHeader(bool closed) {
    std::vector<std::uint8_t> out;
    AppendGopHeader(out, closed, false, 0);
    return out;
}

std::vector<std::uint8_t> Picture(int type, std::size_t bytes, int slices, std::uint32_t& rng) {
    std::vector<std::uint8_t> out;
    if (rng == 0) {
        rng = kSeedMix;  // xorshift never leaves zero
    }
    AppendPicture(out, type, 0, bytes, slices, rng);
    return out;
}

}  // namespace packets

namespace {

// Group lengths follow the I B B P pattern, so they are whole multiples of three pictures.
int GroupLength(const TapeOptions& options) {
    return std::max(kPicturesPerAnchor, options.gopLength - options.gopLength % kPicturesPerAnchor);
}

std::size_t PictureBytesOption(const TapeOptions& options) {
    return options.pictureBytes > 0 ? options.pictureBytes : kDefaultPictureBytes;
}

std::size_t GroupHeadersBytes(const TapeOptions& options) {
    std::vector<std::uint8_t> headers;
    AppendSequenceHeader(headers, options.width, options.height);
    AppendGopHeader(headers, false, false, 0);
    return headers.size();
}

std::size_t PesPacketCount(std::size_t pesBytes, bool pcr) {
    const std::size_t first = kMaxPayload - (pcr ? kPcrFieldBytes : 0);
    return 1 + (pesBytes > first ? (pesBytes - first + kMaxPayload - 1) / kMaxPayload : 0);
}

std::size_t TimestampBytes(int type) {
    return type == kTypeB ? kTimestampBytes : 2 * kTimestampBytes;
}

}  // namespace

TapeWriter::TapeWriter(TapeOptions options) : m_options(std::move(options)) {}

void TapeWriter::AddScene(const SceneSpec& scene) {
    m_scenes.push_back(scene);
}

std::uint64_t TapeWriter::EstimatedGroupBytes() const {
    const int gopLength = GroupLength(m_options);
    std::uint64_t count = 0;
    for (int k = 0; k < gopLength; ++k) {
        const int type = CodedType(k);
        const std::size_t es = PictureBytes(type, PictureBytesOption(m_options), kSlices) +
                               (k == 0 ? GroupHeadersBytes(m_options) : 0);
        count +=
            PesPacketCount(kPesPrefixSize + kPesOptionalHeader + TimestampBytes(type) + es, true);
        if (k % kPsiEveryPictures == 0) {
            count += 2;
        }
    }
    if (m_options.audio) {
        const std::uint64_t frames =
            static_cast<std::uint64_t>(gopLength) * kPictureTicks / kAudioFrameTicks;
        count += frames * PesPacketCount(kPesPrefixSize + kPesOptionalHeader + kTimestampBytes +
                                             kAudioFrameBytes,
                                         false);
    }
    return count * kPacketSize;
}

std::uint64_t TapeWriter::WriteBlocks(
    const std::function<bool(const std::uint8_t*, std::size_t)>& sink) {
    m_gops.clear();
    const int gopLength = GroupLength(m_options);
    const std::size_t pictureBytes = PictureBytesOption(m_options);
    std::uint32_t rng = m_options.seed ^ kSeedMix;
    if (rng == 0) {
        rng = kSeedMix;
    }
    BlockOutput out(sink);

    std::vector<std::uint8_t> stray(m_options.strayBytesAtStart);
    FillRandom(stray.data(), stray.size(), rng);
    std::replace(stray.begin(), stray.end(), kSyncByte, static_cast<std::uint8_t>(kSyncByte - 1));
    out.Raw(stray.data(), stray.size());

    std::uint8_t ccPat = 0, ccPmt = 0, ccVideo = 0, ccAudio = 0, ccDate = 0;
    std::vector<std::uint8_t> pat = packets::Pat();
    std::vector<std::uint8_t> pmt = packets::Pmt(m_options.audio);
    auto emitPsi = [&out](std::vector<std::uint8_t>& pkt, std::uint8_t& cc) {
        pkt[3] = static_cast<std::uint8_t>((pkt[3] & ~kContinuityMask) | cc);
        cc = (cc + 1) & kContinuityMask;
        std::memcpy(out.Packet(), pkt.data(), kPacketSize);
    };

    // Every audio frame is the same silent frame; only its PTS changes.
    std::vector<std::uint8_t> audio;
    AppendPesHeader(audio, kStreamIdAudio, kAudioFrameBytes, true, true, 0, false, 0);
    const std::size_t audioPtsAt = kPesPrefixSize + kPesOptionalHeader;
    const std::size_t audioFrameAt = audio.size();
    audio.resize(audioFrameAt + kAudioFrameBytes, 0);
    std::memcpy(&audio[audioFrameAt], kAudioHeader, sizeof kAudioHeader);
    std::uint64_t audioFrame = 0;
    auto emitAudioUntil = [&](std::uint64_t time) {
        while (m_options.audio && kTimelineStart + audioFrame * kAudioFrameTicks <= time) {
            PutTimestamp(&audio[audioPtsAt], kPtsOnlyPrefix,
                         kTimelineStart + audioFrame * kAudioFrameTicks);
            const std::uint8_t* data = audio.data();
            std::size_t remaining = audio.size();
            for (bool first = true; remaining > 0; first = false) {
                PutPesPacket(out.Packet(), kPidAudio, first, ccAudio, data, remaining, nullptr);
            }
            ++audioFrame;
        }
    };

    std::uint64_t datePack = 0;
    auto emitDatePack = [&](const DateTime& date) {
        const int length = Contains(m_options.damagedDatePacks, datePack) ? kDamagedAdaptationLength
                                                                          : kDateAdaptationLength;
        PutDatePack(out.Packet(), date, length, ccDate);
        ccDate = (ccDate + 1) & kContinuityMask;
        ++datePack;
    };

    std::vector<std::uint8_t> pes;
    pes.reserve(pictureBytes + kPacketSize);
    std::uint64_t picture = 0;
    std::uint64_t group = 0;
    std::uint64_t timecodeAhead = 0;
    std::uint64_t lastVideoEnd = 0;
    for (std::size_t si = 0; si < m_scenes.size() && out.Ok(); ++si) {
        const SceneSpec& scene = m_scenes[si];
        for (int g = 0; g < scene.gops && out.Ok(); ++g, ++group) {
            GopInfo info;
            info.scene = static_cast<int>(si);
            info.closed = m_options.closedGops || (g == 0 && scene.closedFirstGop);
            info.date = AddSeconds(scene.start, static_cast<std::int64_t>(g) * gopLength *
                                                    kMillisecondsPerPicture / 1000);
            info.datePacks = scene.noDates ? 0 : (g == 0 && scene.secondDatePack ? 2 : 1);
            if (Contains(m_options.timecodeJumps, group)) {
                timecodeAhead += kPicturesPerSecond;
            }
            info.timecode = group * static_cast<std::uint64_t>(gopLength) + timecodeAhead;
            const std::uint64_t groupTime =
                kTimelineStart + group * static_cast<std::uint64_t>(gopLength) * kPictureTicks;
            for (int k = 0; k < gopLength; ++k, ++picture) {
                const int type = CodedType(k);
                const std::uint64_t dts =
                    groupTime + static_cast<std::uint64_t>(k) * kPictureTicks - kPictureTicks;
                const std::uint64_t pts =
                    groupTime + static_cast<std::uint64_t>(TemporalReference(k)) * kPictureTicks;
                emitAudioUntil(dts);
                if (k % kPsiEveryPictures == 0) {
                    emitPsi(pat, ccPat);
                    emitPsi(pmt, ccPmt);
                }
                pes.clear();
                AppendPesHeader(pes, kStreamIdVideo, 0, false, true, pts, type != kTypeB, dts);
                if (k == 0) {
                    const bool resized = Contains(m_options.resizedGroups, group);
                    AppendSequenceHeader(pes, resized ? kOtherWidth : m_options.width,
                                         resized ? kOtherHeight : m_options.height);
                    // An open group that starts a scene refers to pictures of another scene.
                    AppendGopHeader(pes, info.closed, !info.closed && g == 0, info.timecode);
                }
                const bool broken = Contains(m_options.brokenPictures, picture);
                AppendPicture(pes, type, TemporalReference(k), pictureBytes,
                              broken ? kSlices - 1 : kSlices, rng);

                const Pcr pcr{dts - kPcrLead, type == kTypeI};
                const std::uint8_t* data = pes.data();
                std::size_t remaining = pes.size();
                std::size_t sent = 0;
                int datesLeft = k == 0 ? info.datePacks : 0;
                while (remaining > 0) {
                    if (sent == 0 && k == 0) {
                        info.firstVideoPacket = out.Offset();
                        info.cut = lastVideoEnd;
                    }
                    PutPesPacket(out.Packet(), kPidVideo, sent == 0, ccVideo, data, remaining,
                                 sent == 0 ? &pcr : nullptr);
                    lastVideoEnd = out.Offset();
                    ++sent;
                    const std::size_t due =
                        datesLeft == info.datePacks ? kFirstDatePackAfter : kSecondDatePackAfter;
                    if (datesLeft > 0 && sent == due) {
                        emitDatePack(info.date);
                        --datesLeft;
                    }
                }
                // A picture too short to reach the usual places still gets its packs.
                for (; datesLeft > 0; --datesLeft) {
                    emitDatePack(info.date);
                }
            }
            m_gops.push_back(info);
        }
    }

    if (m_options.partialLastPacket > 0) {
        std::uint8_t partial[kPacketSize];
        std::memset(partial, kStuffing, kPacketSize);
        PutHeader(partial, kPidNull, false, kPayloadOnly, 0);
        out.Raw(partial, std::min(m_options.partialLastPacket, kPacketSize - 1));
    }
    out.Flush();
    m_size = out.Offset();
    return m_size;
}

std::uint64_t TapeWriter::Write(const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
    return WriteBlocks([&sink](const std::uint8_t* data, std::size_t size) {
        sink(data, size);
        return true;
    });
}

std::vector<std::uint8_t> TapeWriter::Build() {
    std::vector<std::uint8_t> tape;
    WriteBlocks([&tape](const std::uint8_t* data, std::size_t size) {
        tape.insert(tape.end(), data, data + size);
        return true;
    });
    return tape;
}

bool TapeWriter::WriteFile(const std::string& path) {
    m_error.clear();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_error = errno == EEXIST ? path + " already exists; not overwritten"
                                  : "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    int failure = 0;
    WriteBlocks([fd, &failure](const std::uint8_t* data, std::size_t size) {
        return WriteAllTo(fd, data, size, failure);
    });
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure != 0) {
        m_error = "cannot write " + path + ": " + std::strerror(failure);
        ::unlink(path.c_str());  // created by us a moment ago; a torn tape helps nobody
        return false;
    }
    return true;
}

std::vector<std::uint64_t> TapeWriter::SceneCuts() const {
    std::vector<std::uint64_t> cuts;
    int scene = -1;
    for (const GopInfo& gop : m_gops) {
        if (gop.scene != scene) {
            cuts.push_back(gop.cut);
            scene = gop.scene;
        }
    }
    return cuts;
}

}  // namespace vornak::tape
