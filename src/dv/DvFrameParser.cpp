#include "DvFrameParser.h"

#include <array>
#include <cstring>

#include "DvVote.h"

namespace vornak::dv {

namespace {

// Vote keys: fields packed into one number, each in bits of its own.
constexpr int kDayKeyShift = 8;
constexpr int kMonthKeyShift = 8;
constexpr int kAudioBitsShift = 12;
constexpr int kAudioRateShift = 20;
constexpr int kTimecodeFieldBits = 8;
constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int64_t kSecondsPerHour = 3600;

std::uint8_t TypeOf(const std::uint8_t* block) {
    return block[kIdTypeByte] >> kIdTypeShift;
}

constexpr int kBitsPerByte = 8;
constexpr std::size_t kRuns = 8;  // one per pack id read

struct Tallies {
    DvVote dates;
    DvVote times;
    DvVote timecodes;
    DvVote audio;
    int wide = 0;
    int narrow = 0;
    // Recording start, per kind of pack: a camcorder may flag it in only one of them.
    int audioStarts = 0;
    int audioGoesOn = 0;
    int videoStarts = 0;
    int videoGoesOn = 0;
    int apt = 0;
    // Per pack id read: the bytes of the last copy and how many equal copies came in a row.
    struct Run {
        std::uint64_t raw = 0;
        int count = 0;
    };
    std::array<Run, kRuns> runs{};
};

std::int64_t DateKey(const DvDate& d) {
    return (((std::int64_t{d.year} << kMonthKeyShift) | d.month) << kDayKeyShift) | d.day;
}

DvDate DateFromKey(std::int64_t key) {
    constexpr std::int64_t kFieldMask = 0xFF;
    DvDate d;
    d.day = static_cast<int>(key & kFieldMask);
    d.month = static_cast<int>((key >> kDayKeyShift) & kFieldMask);
    d.year = static_cast<int>(key >> (kDayKeyShift + kMonthKeyShift));
    return d;
}

std::int64_t TimeKey(const DvTime& t) {
    return t.hours * kSecondsPerHour + t.minutes * kSecondsPerMinute + t.seconds;
}

DvTime TimeFromKey(std::int64_t key) {
    DvTime t;
    t.hours = static_cast<int>(key / kSecondsPerHour);
    t.minutes = static_cast<int>(key / kSecondsPerMinute % kSecondsPerMinute);
    t.seconds = static_cast<int>(key % kSecondsPerMinute);
    return t;
}

std::int64_t TimecodeKey(const DvTimecode& tc) {
    std::int64_t key = tc.dropFrame ? 1 : 0;
    for (const int field : {tc.hours, tc.minutes, tc.seconds, tc.frames}) {
        key = (key << kTimecodeFieldBits) | field;
    }
    return key;
}

DvTimecode TimecodeFromKey(std::int64_t key) {
    constexpr std::int64_t kFieldMask = (1 << kTimecodeFieldBits) - 1;
    DvTimecode tc;
    int* fields[] = {&tc.frames, &tc.seconds, &tc.minutes, &tc.hours};
    for (int* field : fields) {
        *field = static_cast<int>(key & kFieldMask);
        key >>= kTimecodeFieldBits;
    }
    tc.dropFrame = key != 0;
    return tc;
}

std::int64_t AudioKey(const DvAudioSource& a) {
    return (std::int64_t{a.sampleRate} << kAudioRateShift) |
           (std::int64_t{a.bits} << kAudioBitsShift) | a.samples;
}

// What a pack read as, as one number: a vote key, or for the control packs the start flag and
// the aspect; kUnreadable when it reads as nothing.
constexpr std::int64_t kUnreadable = -1;
constexpr int kControlAspectShift = 1;

std::int64_t Decode(const std::uint8_t* at, int apt) {
    const DvPack pack(at, kPackSize);
    switch (at[0]) {
        case kPackTimecode: {
            const auto tc = DecodeTimecode(pack);
            return tc ? TimecodeKey(*tc) : kUnreadable;
        }
        case kPackVideoRecDate:
        case kPackAudioRecDate: {
            const auto date = DecodeRecordingDate(pack);
            return date ? DateKey(*date) : kUnreadable;
        }
        case kPackVideoRecTime:
        case kPackAudioRecTime: {
            const auto time = DecodeRecordingTime(pack);
            return time ? TimeKey(*time) : kUnreadable;
        }
        case kPackAudioSource: {
            const auto source = DecodeAudioSource(pack);
            return source ? AudioKey(*source) : kUnreadable;
        }
        case kPackAudioControl:
        case kPackVideoControl: {
            const auto control = at[0] == kPackAudioControl ? DecodeAudioControl(pack)
                                                            : DecodeVideoControl(pack, apt);
            return control ? (static_cast<std::int64_t>(control->aspect) << kControlAspectShift) |
                                 (control->recordingStart ? 1 : 0)
                           : kUnreadable;
        }
        default:
            return kUnreadable;
    }
}

void Count(std::uint8_t id, std::int64_t value, int copies, Tallies& t) {
    if (value == kUnreadable) {
        return;
    }
    const bool start = (value & 1) != 0;
    switch (id) {
        case kPackTimecode:
            t.timecodes.Add(value, copies);
            break;
        case kPackVideoRecDate:
        case kPackAudioRecDate:
            t.dates.Add(value, copies);
            break;
        case kPackVideoRecTime:
        case kPackAudioRecTime:
            t.times.Add(value, copies);
            break;
        case kPackAudioSource:
            t.audio.Add(value, copies);
            break;
        case kPackAudioControl:
            (start ? t.audioStarts : t.audioGoesOn) += copies;
            break;
        case kPackVideoControl:
            (start ? t.videoStarts : t.videoGoesOn) += copies;
            (static_cast<DvAspect>(value >> kControlAspectShift) == DvAspect::k16x9 ? t.wide
                                                                                    : t.narrow) +=
                copies;
            break;
        default:
            break;
    }
}

// A frame holds dozens of copies of each pack, nearly always alike. Runs of equal copies are
// counted by their bytes alone and decoded once, when the run ends.
constexpr std::uint8_t kSlotIds[kRuns] = {kPackTimecode,     kPackAudioSource,  kPackAudioControl,
                                          kPackAudioRecDate, kPackAudioRecTime, kPackVideoControl,
                                          kPackVideoRecDate, kPackVideoRecTime};
constexpr std::uint8_t kNoSlot = 0xFF;
constexpr std::size_t kByteValues = 256;

// Pack id to its run in Tallies (kNoSlot for packs not read), looked up once per pack.
constexpr std::array<std::uint8_t, kByteValues> MakeSlots() {
    std::array<std::uint8_t, kByteValues> slots{};
    for (auto& slot : slots) {
        slot = kNoSlot;
    }
    for (std::size_t i = 0; i < std::size(kSlotIds); ++i) {
        slots[kSlotIds[i]] = static_cast<std::uint8_t>(i);
    }
    return slots;
}
constexpr std::array<std::uint8_t, kByteValues> kSlots = MakeSlots();

void Flush(Tallies::Run& run, Tallies& t) {
    if (run.count > 0) {
        std::uint8_t pack[kPackSize];
        std::uint64_t raw = run.raw;
        for (std::uint8_t& byte : pack) {
            byte = static_cast<std::uint8_t>(raw);
            raw >>= kBitsPerByte;
        }
        Count(pack[0], Decode(pack, t.apt), run.count, t);
        run.count = 0;
    }
}

inline void ReadPack(const std::uint8_t* at, Tallies& t) {
    const std::uint8_t slot = kSlots[at[0]];
    if (slot == kNoSlot) {
        return;
    }
    // The five bytes as one number, built in registers (a copy into a wider variable through
    // memory would stall the load after it).
    std::uint64_t raw = 0;
    for (std::size_t i = 0; i < kPackSize; ++i) {
        raw |= std::uint64_t{at[i]} << (kBitsPerByte * i);
    }
    Tallies::Run& run = t.runs[slot];
    if (raw != run.raw || run.count == 0) {
        Flush(run, t);
        run.raw = raw;
    }
    ++run.count;
}

void ReadSequence(const std::uint8_t* seq, Tallies& t, DvFrameInfo& info) {
    for (std::size_t b = 0; b < kSubcodeBlocks; ++b) {
        const std::uint8_t* block = seq + BlockOffset(kFirstSubcodeBlock + b);
        if (TypeOf(block) != kTypeSubcode) {
            continue;
        }
        for (std::size_t s = 0; s < kSyncBlocksPerSubcodeBlock; ++s) {
            ReadPack(block + kIdSize + s * kSyncBlockSize + kSyncBlockPackOffset, t);
        }
    }
    for (std::size_t b = 0; b < kVauxBlocks; ++b) {
        const std::uint8_t* block = seq + BlockOffset(kFirstVauxBlock + b);
        if (TypeOf(block) != kTypeVaux) {
            continue;
        }
        for (std::size_t p = 0; p < kPacksPerVauxBlock; ++p) {
            ReadPack(block + kIdSize + p * kPackSize, t);
        }
    }
    for (std::size_t a = 0; a < kAudioBlocks; ++a) {
        const std::uint8_t* audio = seq + BlockOffset(AudioBlock(a));
        if (TypeOf(audio) == kTypeAudio) {
            ReadPack(audio + kIdSize, t);
        }
        for (std::size_t v = 1; v <= kVideoBlocksPerAudio; ++v) {
            const std::uint8_t* video = audio + BlockOffset(v);
            if (TypeOf(video) != kTypeVideo) {
                continue;
            }
            const int sta = video[kVideoStaByte] >> kVideoStaShift;
            if (sta == kStaNotConcealed) {
                ++info.videoBlocksInError;
            } else if (sta != kStaNoError) {
                ++info.videoBlocksConcealed;
            }
        }
    }
}

// Samples that carry the error code. Without a readable audio pack the samples are taken as
// 16-bit, by far the most common.
int CountAudioErrors(const std::uint8_t* seq, int bits) {
    constexpr std::size_t kBytes16 = 2;
    constexpr std::size_t kBytes12Pair = 3;  // two 12-bit samples: high bytes, then both lows
    constexpr int kByteBits = 8;
    constexpr int kNibble = 4;
    constexpr std::uint8_t kLowNibble = 0x0F;
    int errors = 0;
    for (std::size_t a = 0; a < kAudioBlocks; ++a) {
        const std::uint8_t* block = seq + BlockOffset(AudioBlock(a));
        if (TypeOf(block) != kTypeAudio) {
            continue;
        }
        const std::uint8_t* data = block + kAudioDataOffset;
        if (bits == 12) {
            for (std::size_t d = 0; d + kBytes12Pair <= kAudioDataSize; d += kBytes12Pair) {
                const int first = (data[d] << kNibble) | (data[d + 2] >> kNibble);
                const int second = (data[d + 1] << kNibble) | (data[d + 2] & kLowNibble);
                errors += (first == kAudioError12) + (second == kAudioError12);
            }
        } else {
            // Without a branch: samples are noise to a branch predictor.
            for (std::size_t d = 0; d + kBytes16 <= kAudioDataSize; d += kBytes16) {
                errors += static_cast<int>(((data[d] << kByteBits) | data[d + 1]) == kAudioError16);
            }
        }
    }
    return errors;
}

bool IsHeaderBlock(const std::uint8_t* block) {
    return TypeOf(block) == kTypeHeader && (block[kHeaderDsfByte] & kHeaderZeroBit) == 0;
}

}  // namespace

bool DvFrameParser::Parse(std::span<const std::uint8_t> frame, DvFrameInfo& info) {
    info = DvFrameInfo{};
    if (frame.size() < kSequenceSize || !IsHeaderBlock(frame.data())) {
        return false;
    }
    info.system = (frame[kHeaderDsfByte] & kDsfBit) != 0 ? DvSystem::k625_50 : DvSystem::k525_60;
    const std::size_t whole = frame.size() / kSequenceSize;
    info.sequences = static_cast<int>(
        std::min<std::size_t>(whole, static_cast<std::size_t>(SequencesOf(info.system))));

    Tallies t;
    t.apt = frame[kHeaderAptByte] & kAptMask;
    for (int s = 0; s < info.sequences; ++s) {
        ReadSequence(frame.data() + SequenceOffset(s), t, info);
    }
    for (Tallies::Run& run : t.runs) {
        Flush(run, t);
    }

    const auto date = t.dates.Winner();
    const auto time = t.times.Winner();
    if (date && time) {
        info.recorded = DvRecorded{DateFromKey(*date), TimeFromKey(*time)};
    }
    if (const auto tc = t.timecodes.Winner()) {
        info.timecode = TimecodeFromKey(*tc);
    }
    if (const auto audio = t.audio.Winner()) {
        constexpr std::int64_t kSamplesMask = (1 << kAudioBitsShift) - 1;
        constexpr std::int64_t kBitsMask = (1 << (kAudioRateShift - kAudioBitsShift)) - 1;
        info.audioSamples = static_cast<int>(*audio & kSamplesMask);
        info.audioBits = static_cast<int>((*audio >> kAudioBitsShift) & kBitsMask);
        info.audioRate = static_cast<int>(*audio >> kAudioRateShift);
    }
    if (t.wide != t.narrow) {
        info.aspect = t.wide > t.narrow ? DvAspect::k16x9 : DvAspect::k4x3;
    }
    info.recordingStart = t.audioStarts > t.audioGoesOn || t.videoStarts > t.videoGoesOn;
    for (int s = 0; s < info.sequences; ++s) {
        info.audioErrorSamples +=
            CountAudioErrors(frame.data() + SequenceOffset(s), info.audioBits);
    }
    return true;
}

}  // namespace vornak::dv
