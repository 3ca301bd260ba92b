// Synthetic DV frames for the tests, laid out block by block as a camcorder writes them, with
// the packs placed where the test wants them; and a real DV clip written by the ffmpeg program.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "DifConstants.h"
#include "DvPacks.h"

namespace vornak::dv::test {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<Bytes>;
using PackBytes = std::array<std::uint8_t, kPackSize>;

struct Stamp {
    int year = 7;  // two digits, as on tape
    int month = 6;
    int day = 15;
    int hour = 10;
    int minute = 0;
    int second = 0;
};

struct FrameSetup {
    DvSystem system = DvSystem::k625_50;
    bool dated = true;
    Stamp stamp;
    bool wide = false;            // 16:9 in the video control pack
    bool recordingStart = false;  // in both control packs
    int audioRate = 48000;        // 0: no audio source pack
    int audioBits = 16;
    bool timecode = true;
    std::array<int, 4> tc = {0, 0, 0, 0};  // hours, minutes, seconds, frames
    bool dropFrame = false;                // the timecode counts drop-frame
};

// Offsets in a frame of the places packs go.
std::size_t VauxPackAt(int sequence, int block, int pack);
std::size_t SubcodePackAt(int sequence, int block, int syncBlock);
std::size_t AudioPackAt(int sequence, int audio);
std::size_t VideoBlockAt(int sequence, int audio, int video);  // video 0 to 14 after `audio`
std::size_t AudioDataAt(int sequence, int audio);
// Every audio block's data, and every video block, of a frame of `system`, in frame order.
std::vector<std::size_t> AudioDataOffsets(DvSystem system);
std::vector<std::size_t> VideoBlockOffsets(DvSystem system);

int Bcd(int value);
PackBytes DatePack(std::uint8_t id, const Stamp& s);  // 0x62 or 0x52
PackBytes TimePack(std::uint8_t id, const Stamp& s);  // 0x63 or 0x53

// One copy of the date and time in each of VAUX (sequence 0), subcode (sequence 6) and AAUX
// (sequence 1); the control, source and timecode packs once each.
Bytes MakeFrame(const FrameSetup& setup = {});
void Put(Bytes& frame, std::size_t at, const PackBytes& pack);
// Where MakeFrame puts the three copies of the date; the time sits in the slot after each.
enum class Copy { kVaux, kSubcode, kAudio };
std::size_t DateCopyAt(Copy copy);
std::size_t TimeCopyAt(Copy copy);

// The whole frames of a raw DV file, in order.
Frames RawFrames(const Bytes& raw);

bool FfmpegAvailable();
// Writes `seconds` of 625/50 DV (-target pal-dv) with a test picture and a tone. Empty on
// success, else the command that failed.
std::string WriteFfmpegDv(const std::string& path, int seconds, const std::string& aspect,
                          const std::string& creationTime);
// Writes one second of DV to `raw` (`target` pal-dv or ntsc-dv) with a test picture and the
// lavfi sound `sound`, and to `pcm` that sound as ffmpeg reads it back out of the DV (s16le).
// Empty on success, else the command that failed.
std::string WriteFfmpegDvAndSound(const std::string& raw, const std::string& pcm,
                                  const std::string& target, const std::string& sound,
                                  const std::string& aspect = "4:3");

}  // namespace vornak::dv::test

namespace vornak::dv {
// Readable failures: "2007-06-15", "10:00:00.-1", "00:10:00;00".
void PrintTo(const DvDate& date, std::ostream* out);
void PrintTo(const DvTime& time, std::ostream* out);
void PrintTo(const DvTimecode& tc, std::ostream* out);
}  // namespace vornak::dv
