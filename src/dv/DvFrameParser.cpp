#include "DvFrameParser.h"

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

void ReadPack(const std::uint8_t* at, Tallies& t) {
    const DvPack pack(at, kPackSize);
    switch (at[0]) {
        case kPackTimecode:
            if (const auto tc = DecodeTimecode(pack)) {
                t.timecodes.Add(TimecodeKey(*tc));
            }
            break;
        case kPackVideoRecDate:
        case kPackAudioRecDate:
            if (const auto date = DecodeRecordingDate(pack)) {
                t.dates.Add(DateKey(*date));
            }
            break;
        case kPackVideoRecTime:
        case kPackAudioRecTime:
            if (const auto time = DecodeRecordingTime(pack)) {
                t.times.Add(TimeKey(*time));
            }
            break;
        case kPackAudioSource:
            if (const auto source = DecodeAudioSource(pack)) {
                t.audio.Add(AudioKey(*source));
            }
            break;
        case kPackAudioControl:
            if (const auto control = DecodeAudioControl(pack)) {
                ++(control->recordingStart ? t.audioStarts : t.audioGoesOn);
            }
            break;
        case kPackVideoControl:
            if (const auto control = DecodeVideoControl(pack, t.apt)) {
                ++(control->recordingStart ? t.videoStarts : t.videoGoesOn);
                ++(control->aspect == DvAspect::k16x9 ? t.wide : t.narrow);
            }
            break;
        default:
            break;
    }
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
    constexpr auto kError16High = static_cast<std::uint8_t>(kAudioError16 >> kByteBits);
    constexpr auto kError16Low = static_cast<std::uint8_t>(kAudioError16 & 0xFF);
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
            for (std::size_t d = 0; d + kBytes16 <= kAudioDataSize; d += kBytes16) {
                errors += data[d] == kError16High && data[d + 1] == kError16Low;
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
