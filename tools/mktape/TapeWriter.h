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

struct SceneSpec {
    DateTime start;               // recording date of the scene's first picture group
    int gops = 10;                // picture groups in the scene
    bool closedFirstGop = false;  // the scene's first group has closed_gop set
    bool secondDatePack = false;  // the scene's first group carries two date packs
    bool noDates = false;         // no date packs at all in this scene
};

struct TapeOptions {
    int gopLength = 15;             // pictures per group: 12 or 15
    int width = 1440;               // sequence header picture size
    int height = 1080;
    std::size_t pictureBytes = 0;   // elementary bytes per picture; 0 picks about 25 Mbit/s
    bool closedGops = false;        // every group closed (else only as the scenes ask)
    bool audio = true;              // MPEG-1 Layer II audio on 0x814
    std::vector<long> brokenPictures;  // global picture numbers written with 67 slices
    std::size_t strayBytesAtStart = 0; // garbage (no 0x47) before the first packet
    std::size_t partialLastPacket = 0; // bytes of a final truncated packet
    std::vector<long> damagedDatePacks;  // global date pack numbers with a bad length byte
    std::uint32_t seed = 1;
};

// Where things landed in the written stream (byte offsets from the tape's first byte).
struct GopInfo {
    std::uint64_t firstVideoPacket = 0;  // offset of the group's first video packet
    std::uint64_t cut = 0;               // end of the last video packet before it (0 if none)
    int scene = 0;                       // index into the scenes given
    bool closed = false;
};

class TapeWriter {
public:
    explicit TapeWriter(TapeOptions options = {});
    void AddScene(const SceneSpec& scene);

    // Streams the whole tape to `sink` in blocks. Returns the total size written.
    std::uint64_t Write(const std::function<void(const std::uint8_t*, std::size_t)>& sink);
    std::vector<std::uint8_t> Build();
    bool WriteFile(const std::string& path);  // refuses to overwrite an existing file

    // Filled by Write/Build.
    const std::vector<GopInfo>& Gops() const { return m_gops; }
    // Offset where each scene's file starts when the tape is split (its first group's cut).
    std::vector<std::uint64_t> SceneCuts() const;

private:
    TapeOptions m_options;
    std::vector<SceneSpec> m_scenes;
    std::vector<GopInfo> m_gops;
};

// Packet-level builders, for tests that need hand-made sequences.
namespace packets {
std::vector<std::uint8_t> Pat();
std::vector<std::uint8_t> Pmt();
// One recording-date pack: adaptation field of `adaptationLength` bytes, then the
// private_stream_2 PES whose bytes 42..44 hold day, month, year and 46..48 second, minute, hour.
std::vector<std::uint8_t> DatePack(const DateTime& date, int adaptationLength = 7);
// Video packets carrying `es` as one PES packet (PTS/DTS optional, 0 = none).
std::vector<std::uint8_t> VideoPes(const std::vector<std::uint8_t>& es, std::uint8_t& continuity,
                                   std::uint64_t pts = 0, std::uint64_t dts = 0);
std::vector<std::uint8_t> AudioPes(const std::vector<std::uint8_t>& es, std::uint8_t& continuity,
                                   std::uint64_t pts);
// Elementary-stream pieces.
std::vector<std::uint8_t> SequenceHeader(int width, int height);
std::vector<std::uint8_t> GopHeader(bool closed);
std::vector<std::uint8_t> Picture(int type, std::size_t bytes, int slices, std::uint32_t& rng);
}  // namespace packets

}  // namespace vornak::tape
