// Tells what a file holds from its content, never its name: an MPEG-2 transport stream, raw DV,
// DV in AVI (type 1 or type 2), DV in QuickTime, or none of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vornak::dv {

enum class StreamFormat : std::uint8_t {
    kTransportStream,
    kRawDv,
    kDvAviType1,  // one interleaved stream ('iavs') of whole DIF frames
    kDvAviType2,  // a DV video stream ('vids') beside a copy of its sound
    kDvQuickTime,
    kNeither,
};

struct StreamFormatVerdict {
    StreamFormat format = StreamFormat::kNeither;
    // Why the file is none of the formats read (or could not be looked at); empty otherwise.
    std::string reason;
};

class StreamFormatProbe {
  public:
    // Bytes read from the file's start to decide. A transport stream or DV frame that begins
    // only after garbage this long is not looked for.
    static constexpr std::size_t kProbeBytes = 4 * 1024 * 1024;

    // Decides from the file's first kProbeBytes (and, for AVI and QuickTime, from what
    // libavformat reads of the container).
    static StreamFormatVerdict ProbeFile(const std::string& path);

    // Decides between a transport stream and raw DV from a file's first bytes: whichever shows
    // first. `whole` says `bytes` is all of the file. kNeither when neither shows.
    static StreamFormat FromBytes(std::span<const std::uint8_t> bytes, bool whole);

    // What the format is called in messages: "MPEG-2 transport stream", "raw DV", ...
    static const char* Name(StreamFormat format);

    // Packets in a row, each begun by the sync byte, that a transport stream is known by.
    static constexpr std::size_t kStreamProofPackets = 5;

  private:
    // Offset of the first run of transport packets that begins at or before `last`, or
    // bytes.size() when there is none.
    static std::size_t FirstTransportRun(std::span<const std::uint8_t> bytes, bool whole,
                                         std::size_t last);
    // Offset of the first whole DV frame, or bytes.size() when there is none.
    static std::size_t FirstDvFrame(std::span<const std::uint8_t> bytes, bool whole);
};

}  // namespace vornak::dv
