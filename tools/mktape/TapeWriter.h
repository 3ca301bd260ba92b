// Synthetic HDV tapes for tests, the demo and the benchmarks: PAT, PMT, MPEG-2 video on 0x810,
// MPEG-1 Layer II audio on 0x814 and one recording-date pack on 0x811 per picture group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vornak::tape {

struct DateTime {
    int year = 2006;  // written as two BCD digits
    int month = 5;
    int day = 1;
    int hour = 14;
    int minute = 3;
    int second = 59;
};

// `date` moved by `seconds` (either way), with the carries of the Gregorian calendar.
DateTime AddSeconds(const DateTime& date, std::int64_t seconds);
bool operator==(const DateTime& a, const DateTime& b);

struct SceneSpec {
    DateTime start;               // recording date of the scene's first picture group
    int gops = 10;                // picture groups in the scene
    bool closedFirstGop = false;  // the scene's first group has closed_gop set
    bool secondDatePack = false;  // the scene's first group carries two date packs
    bool noDates = false;         // no date packs at all in this scene
};

struct TapeOptions {
    int gopLength = 15;  // pictures per group: 12 or 15
    int width = 1440;    // sequence header picture size
    int height = 1080;
    std::size_t pictureBytes = 0;      // elementary bytes per picture (picture header and slices;
                                       // raised to what short slices need); 0 picks about 25 Mbit/s
    bool closedGops = false;           // every group closed (else only as the scenes ask)
    bool audio = true;                 // MPEG-1 Layer II audio on 0x814
    std::vector<long> brokenPictures;  // global picture numbers (coded order, from 0) written with
                                       // 67 slices
    std::size_t strayBytesAtStart = 0;   // garbage (no 0x47) before the first packet
    std::size_t partialLastPacket = 0;   // bytes of a final truncated packet
    std::vector<long> damagedDatePacks;  // global date pack numbers (from 0) whose adaptation
                                         // length puts the date outside the packet
    // Global group numbers (from 0) whose sequence header gives another picture size.
    std::vector<long> resizedGroups;
    // Global group numbers from which on the groups' time code runs one second further ahead.
    std::vector<long> timecodeJumps;
    std::uint32_t seed = 1;
};

// Where things landed in the written stream (byte offsets from the tape's first byte).
struct GopInfo {
    std::uint64_t firstVideoPacket = 0;  // offset of the group's first video packet
    std::uint64_t cut = 0;               // end of the last video packet before it (0 if none)
    int scene = 0;                       // index into the scenes given
    bool closed = false;
    DateTime date;               // recording date of the group (carried by its date packs, if any)
    int datePacks = 0;           // date packs written in the group (0, 1 or 2)
    std::uint64_t timecode = 0;  // the group's time code, in pictures from 00:00:00:00
};

class TapeWriter {
  public:
    explicit TapeWriter(TapeOptions options = {});
    void AddScene(const SceneSpec& scene);

    // Streams the whole tape to `sink` in blocks. Returns the total size written.
    std::uint64_t Write(const std::function<void(const std::uint8_t*, std::size_t)>& sink);
    std::vector<std::uint8_t> Build();
    bool WriteFile(const std::string& path);  // refuses to overwrite an existing file
    // Why the last WriteFile failed.
    const std::string& Error() const { return m_error; }

    // Bytes of one picture group with these options, never more than a real group takes
    // (used to size a tape before writing it).
    std::uint64_t EstimatedGroupBytes() const;

    // Filled by Write/Build.
    const std::vector<GopInfo>& Gops() const { return m_gops; }
    std::uint64_t Size() const { return m_size; }  // bytes of the tape last made
    // Offset where each scene's file starts when the tape is split (its first group's cut).
    std::vector<std::uint64_t> SceneCuts() const;

  private:
    TapeOptions m_options;
    std::vector<SceneSpec> m_scenes;
    std::vector<GopInfo> m_gops;
    std::string m_error;
    std::uint64_t m_size = 0;

    std::uint64_t WriteBlocks(const std::function<bool(const std::uint8_t*, std::size_t)>& sink);
};

// Packet-level builders, for tests that need hand-made sequences.
namespace packets {
std::vector<std::uint8_t> Pat();
std::vector<std::uint8_t> Pmt(bool audio = true);  // without audio, 0x814 is not listed
// One recording-date pack: adaptation field of `adaptationLength` bytes, then the
// private_stream_2 PES whose bytes 42..44 hold day, month, year and 46..48 second, minute, hour.
std::vector<std::uint8_t> DatePack(const DateTime& date, int adaptationLength = 7,
                                   std::uint8_t continuity = 0);
// Video packets carrying `es` as one PES packet (PTS/DTS optional, 0 = none).
std::vector<std::uint8_t> VideoPes(const std::vector<std::uint8_t>& es, std::uint8_t& continuity,
                                   std::uint64_t pts = 0, std::uint64_t dts = 0);
std::vector<std::uint8_t> AudioPes(const std::vector<std::uint8_t>& es, std::uint8_t& continuity,
                                   std::uint64_t pts);
// Elementary-stream pieces. SequenceHeader includes the MPEG-2 sequence extension.
std::vector<std::uint8_t> SequenceHeader(int width, int height);
std::vector<std::uint8_t> GopHeader(bool closed);
// Picture header (type 1 = I, 2 = P, 3 = B), picture coding extension and `slices` slices
// (vertical positions 1, 2, ...), `bytes` in all; slice data never holds a 0x00 byte.
std::vector<std::uint8_t> Picture(int type, std::size_t bytes, int slices, std::uint32_t& rng);
}  // namespace packets

}  // namespace vornak::tape
