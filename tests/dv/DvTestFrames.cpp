#include "DvTestFrames.h"

#include <cstdio>
#include <cstdlib>
#include <span>

#include "DvFrameReader.h"

namespace vornak::dv::test {

namespace {

constexpr std::uint8_t kReservedIdBits = 0x10;
constexpr std::uint8_t kSequenceReserved = 0x07;
constexpr std::uint8_t kHeaderRest = 0x3F;
constexpr std::uint8_t kAptByte = 0xF8;       // reserved ones, APT 0
constexpr std::uint8_t kDropFrameBit = 0x40;  // in the timecode's frames byte

std::uint8_t Id0(std::uint8_t type) {
    return static_cast<std::uint8_t>((type << kIdTypeShift) | kReservedIdBits | 0x06);
}

void PutId(Bytes& f, std::size_t at, std::uint8_t type, int sequence, int number) {
    f[at] = Id0(type);
    f[at + 1] = static_cast<std::uint8_t>((sequence << kIdSequenceShift) | kSequenceReserved);
    f[at + 2] = static_cast<std::uint8_t>(number);
}

PackBytes AudioSource(const FrameSetup& setup) {
    const int smp = setup.audioRate == 48000 ? 0 : setup.audioRate == 44100 ? 1 : 2;
    const int quant = setup.audioBits == 16 ? 0 : setup.audioBits == 12 ? 1 : 2;
    const bool fifty = setup.system == DvSystem::k625_50;
    return {kPackAudioSource, 0xD8, 0x00, static_cast<std::uint8_t>(0xC0 | (fifty ? 0x20 : 0)),
            static_cast<std::uint8_t>(0x80 | (smp << 3) | quant)};
}

}  // namespace

std::size_t VauxPackAt(int sequence, int block, int pack) {
    return SequenceOffset(sequence) + BlockOffset(kFirstVauxBlock + block) + kIdSize +
           static_cast<std::size_t>(pack) * kPackSize;
}

std::size_t SubcodePackAt(int sequence, int block, int syncBlock) {
    return SequenceOffset(sequence) + BlockOffset(kFirstSubcodeBlock + block) + kIdSize +
           static_cast<std::size_t>(syncBlock) * kSyncBlockSize + kSyncBlockPackOffset;
}

std::size_t AudioPackAt(int sequence, int audio) {
    return SequenceOffset(sequence) + BlockOffset(AudioBlock(audio)) + kIdSize;
}

std::size_t VideoBlockAt(int sequence, int audio, int video) {
    return SequenceOffset(sequence) + BlockOffset(AudioBlock(audio) + 1 + video);
}

std::size_t AudioDataAt(int sequence, int audio) {
    return SequenceOffset(sequence) + BlockOffset(AudioBlock(audio)) + kAudioDataOffset;
}

std::vector<std::size_t> AudioDataOffsets(DvSystem system) {
    std::vector<std::size_t> offsets;
    for (int s = 0; s < SequencesOf(system); ++s) {
        for (int a = 0; a < static_cast<int>(kAudioBlocks); ++a) {
            offsets.push_back(AudioDataAt(s, a));
        }
    }
    return offsets;
}

std::vector<std::size_t> VideoBlockOffsets(DvSystem system) {
    std::vector<std::size_t> offsets;
    for (int s = 0; s < SequencesOf(system); ++s) {
        for (int a = 0; a < static_cast<int>(kAudioBlocks); ++a) {
            for (int v = 0; v < static_cast<int>(kVideoBlocksPerAudio); ++v) {
                offsets.push_back(VideoBlockAt(s, a, v));
            }
        }
    }
    return offsets;
}

int Bcd(int value) {
    return (value / 10) << 4 | value % 10;
}

PackBytes DatePack(std::uint8_t id, const Stamp& s) {
    return {id, 0xFF, static_cast<std::uint8_t>(0xC0 | Bcd(s.day)),
            static_cast<std::uint8_t>(0xE0 | Bcd(s.month)), static_cast<std::uint8_t>(Bcd(s.year))};
}

PackBytes TimePack(std::uint8_t id, const Stamp& s) {
    return {id, 0xFF, static_cast<std::uint8_t>(0x80 | Bcd(s.second)),
            static_cast<std::uint8_t>(0x80 | Bcd(s.minute)),
            static_cast<std::uint8_t>(0xC0 | Bcd(s.hour))};
}

void Put(Bytes& frame, std::size_t at, const PackBytes& pack) {
    for (std::size_t i = 0; i < kPackSize; ++i) {
        frame.at(at + i) = pack[i];
    }
}

std::size_t DateCopyAt(Copy copy) {
    switch (copy) {
        case Copy::kVaux:
            return VauxPackAt(0, 0, 2);
        case Copy::kSubcode:
            return SubcodePackAt(6, 0, 1);
        case Copy::kAudio:
            break;
    }
    return AudioPackAt(1, 2);
}

std::size_t TimeCopyAt(Copy copy) {
    switch (copy) {
        case Copy::kVaux:
            return VauxPackAt(0, 0, 3);
        case Copy::kSubcode:
            return SubcodePackAt(6, 0, 2);
        case Copy::kAudio:
            break;
    }
    return AudioPackAt(1, 3);
}

Bytes MakeFrame(const FrameSetup& setup) {
    const int sequences = SequencesOf(setup.system);
    Bytes f(FrameSizeOf(setup.system), 0x00);
    for (int s = 0; s < sequences; ++s) {
        const std::size_t seq = SequenceOffset(s);
        PutId(f, seq, kTypeHeader, s, 0);
        f[seq + kHeaderDsfByte] = static_cast<std::uint8_t>(
            (setup.system == DvSystem::k625_50 ? kDsfBit : 0) | kHeaderRest);
        f[seq + kHeaderAptByte] = kAptByte;
        for (std::size_t i = kHeaderAptByte + 1; i < kBlockSize; ++i) {
            f[seq + i] = 0xFF;
        }
        for (std::size_t b = 0; b < kSubcodeBlocks; ++b) {
            const std::size_t at = seq + BlockOffset(kFirstSubcodeBlock + b);
            PutId(f, at, kTypeSubcode, s, static_cast<int>(b));
            for (std::size_t i = kIdSize; i < kBlockSize; ++i) {
                f[at + i] = 0xFF;
            }
        }
        for (std::size_t b = 0; b < kVauxBlocks; ++b) {
            const std::size_t at = seq + BlockOffset(kFirstVauxBlock + b);
            PutId(f, at, kTypeVaux, s, static_cast<int>(b));
            for (std::size_t i = kIdSize; i < kBlockSize; ++i) {
                f[at + i] = 0xFF;
            }
        }
        for (std::size_t a = 0; a < kAudioBlocks; ++a) {
            const std::size_t at = seq + BlockOffset(AudioBlock(a));
            PutId(f, at, kTypeAudio, s, static_cast<int>(a));
            Put(f, at + kIdSize, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
            for (std::size_t v = 0; v < kVideoBlocksPerAudio; ++v) {
                PutId(f, at + BlockOffset(1 + v), kTypeVideo, s,
                      static_cast<int>(a * kVideoBlocksPerAudio + v));
            }
        }
    }
    if (setup.dated) {
        for (const Copy c : {Copy::kVaux, Copy::kSubcode, Copy::kAudio}) {
            const bool audio = c == Copy::kAudio;
            Put(f, DateCopyAt(c),
                DatePack(audio ? kPackAudioRecDate : kPackVideoRecDate, setup.stamp));
            Put(f, TimeCopyAt(c),
                TimePack(audio ? kPackAudioRecTime : kPackVideoRecTime, setup.stamp));
        }
    }
    const std::uint8_t control = setup.recordingStart ? 0x48 : 0xC8;
    Put(f, VauxPackAt(0, 0, 1),
        {kPackVideoControl, 0x3F, static_cast<std::uint8_t>(control | (setup.wide ? 0x07 : 0x00)),
         0xFC, 0xFF});
    Put(f, AudioPackAt(0, 4),
        {kPackAudioControl, 0x1C, static_cast<std::uint8_t>(setup.recordingStart ? 0x4F : 0xCF),
         0xA0, 0xFF});
    if (setup.audioRate != 0) {
        Put(f, AudioPackAt(0, 3), AudioSource(setup));
    }
    if (setup.timecode) {
        Put(f, SubcodePackAt(0, 0, 0),
            {kPackTimecode,
             static_cast<std::uint8_t>((setup.dropFrame ? kDropFrameBit : 0) | Bcd(setup.tc[3])),
             static_cast<std::uint8_t>(0x80 | Bcd(setup.tc[2])),
             static_cast<std::uint8_t>(0x80 | Bcd(setup.tc[1])),
             static_cast<std::uint8_t>(0xC0 | Bcd(setup.tc[0]))});
    }
    return f;
}

Frames RawFrames(const Bytes& raw) {
    Frames frames;
    DvFrameReader reader;
    DvPiece piece;
    std::size_t used = 0;
    while (reader.Next(std::span(raw).subspan(used), true, piece)) {
        if (piece.kind == DvPieceKind::kFrame) {
            frames.emplace_back(piece.bytes.begin(), piece.bytes.end());
        }
        used += piece.bytes.size();
    }
    return frames;
}

bool FfmpegAvailable() {
    return std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
}

std::string WriteFfmpegDv(const std::string& path, int seconds, const std::string& aspect,
                          const std::string& creationTime) {
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc=size=720x576:rate=25"
        " -f lavfi -i sine=frequency=440:sample_rate=48000 -t " +
        std::to_string(seconds) + " -aspect " + aspect +
        " -metadata creation_time=" + creationTime + " -target pal-dv '" + path + "'";
    return std::system(command.c_str()) == 0 ? std::string() : command;
}

std::string WriteFfmpegDvAndSound(const std::string& raw, const std::string& pcm,
                                  const std::string& target, const std::string& sound,
                                  const std::string& aspect) {
    const std::string ffmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";
    const std::string picture = target == "pal-dv" ? "720x576:rate=25" : "720x480:rate=30000/1001";
    const std::string command = ffmpeg + "-f lavfi -i testsrc=size=" + picture + " -f lavfi -i \"" +
                                sound + "\" -t 1 -aspect " + aspect + " -target " + target + " '" +
                                raw + "' && " + ffmpeg + "-i '" + raw +
                                "' -map 0:a -c:a pcm_s16le -f s16le '" + pcm + "'";
    return std::system(command.c_str()) == 0 ? std::string() : command;
}

}  // namespace vornak::dv::test

namespace vornak::dv {

void PrintTo(const DvDate& d, std::ostream* out) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    *out << text;
}

void PrintTo(const DvTime& t, std::ostream* out) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%d", t.hours, t.minutes, t.seconds, t.frames);
    *out << text;
}

void PrintTo(const DvTimecode& tc, std::ostream* out) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", tc.hours, tc.minutes, tc.seconds,
                  tc.dropFrame ? ';' : ':', tc.frames);
    *out << text;
}

}  // namespace vornak::dv
