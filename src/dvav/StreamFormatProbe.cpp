#include "StreamFormatProbe.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "DvFrameReader.h"
#include "FfmpegInput.h"
#include "FileStart.h"
#include "RiffWalk.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vornak::dv {

namespace {

// The transport packet and the byte that begins each one.
constexpr std::size_t kPacketSize = 188;
constexpr std::uint8_t kSyncByte = 0x47;
// As much as libavformat itself looks at to tell a container: AVI and QuickTime show at once.
constexpr std::size_t kContainerProbeBytes = 1024 * 1024;

StreamFormatVerdict Neither(std::string reason) {
    return {StreamFormat::kNeither, std::move(reason)};
}

StreamFormatVerdict ProbeContainer(const std::string& path, const std::vector<std::uint8_t>& start,
                                   const AVInputFormat* format) {
    const bool avi = FfmpegInput::IsAvi(format);
    const char* const kind = avi ? "an AVI file" : "a QuickTime file";
    FfmpegInput input;
    if (const std::string error = input.Open(path, format); !error.empty()) {
        return Neither(std::string(kind) + " that cannot be read: " + error);
    }
    if (input.DvVideoStream() < 0) {
        return Neither(std::string(kind) + " without DV video");
    }
    if (!avi) {
        return {StreamFormat::kDvQuickTime, {}};
    }
    return {RiffWalk::InterleavedDvStream(start) >= 0 ? StreamFormat::kDvAviType1
                                                      : StreamFormat::kDvAviType2,
            {}};
}

}  // namespace

std::size_t StreamFormatProbe::FirstTransportRun(std::span<const std::uint8_t> bytes, bool whole,
                                                 std::size_t last) {
    // The same evidence the splitter waits for: a few packets in a row, or, in an input too
    // short to hold that many, every packet in its place.
    if (whole && !bytes.empty() && bytes.size() % kPacketSize == 0) {
        bool all = true;
        for (std::size_t at = 0; at < bytes.size() && all; at += kPacketSize) {
            all = bytes[at] == kSyncByte;
        }
        if (all) {
            return 0;
        }
    }
    constexpr std::size_t kProofSpan = (kStreamProofPackets - 1) * kPacketSize + 1;
    for (std::size_t at = 0; at <= last && at + kProofSpan <= bytes.size(); ++at) {
        const void* sync = std::memchr(bytes.data() + at, kSyncByte, bytes.size() - at);
        if (sync == nullptr) {
            break;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(sync) - bytes.data());
        std::size_t run = 1;
        while (run < kStreamProofPackets && at + run * kPacketSize < bytes.size() &&
               bytes[at + run * kPacketSize] == kSyncByte) {
            ++run;
        }
        if (run == kStreamProofPackets && at <= last) {
            return at;
        }
    }
    return bytes.size();
}

std::size_t StreamFormatProbe::FirstDvFrame(std::span<const std::uint8_t> bytes, bool whole) {
    DvFrameReader reader;
    DvPiece piece;
    std::size_t used = 0;
    while (reader.Next(bytes.subspan(used), whole, piece)) {
        // A frame cut short by the end of a file still says the file is DV, once all the blocks
        // a frame begins with are there: a few bytes at the end that might begin a header
        // block say nothing.
        if (piece.kind == DvPieceKind::kFrame ||
            (piece.kind == DvPieceKind::kPartial &&
             piece.bytes.size() >= DvFrameReader::kStartProbe)) {
            return used;
        }
        used += piece.bytes.size();
    }
    return bytes.size();
}

StreamFormat StreamFormatProbe::FromBytes(std::span<const std::uint8_t> bytes, bool whole) {
    // Packets count only where they begin no later than the first frame: a tie goes to them.
    const std::size_t dv = FirstDvFrame(bytes, whole);
    const std::size_t transport = FirstTransportRun(bytes, whole, dv);
    if (transport < bytes.size()) {
        return StreamFormat::kTransportStream;
    }
    return dv < bytes.size() ? StreamFormat::kRawDv : StreamFormat::kNeither;
}

StreamFormatVerdict StreamFormatProbe::ProbeFile(const std::string& path) {
    const FileStart file = FileStart::Read(path, kProbeBytes);
    if (!file.regular) {
        return Neither("it is no regular file");
    }
    if (file.error != 0) {
        return Neither(std::string("it cannot be read: ") + std::strerror(file.error));
    }
    const std::vector<std::uint8_t>& start = file.bytes;
    const bool whole = file.whole;
    if (start.empty()) {
        return Neither("it is empty");
    }
    // A container's DV frames lie in it as they are on tape: the container is told first, or
    // its frames would be taken for raw DV with the container's own bytes as garbage.
    const auto containerStart =
        std::span(start).first(std::min(start.size(), kContainerProbeBytes));
    if (const AVInputFormat* container = FfmpegInput::ContainerOf(containerStart);
        container != nullptr) {
        return ProbeContainer(path, start, container);
    }
    const StreamFormat format = FromBytes(start, whole);
    if (format == StreamFormat::kNeither) {
        return Neither(whole ? "it holds neither transport packets nor DV frames"
                             : "its first " + std::to_string(kProbeBytes / (1024 * 1024)) +
                                   " MiB hold neither transport packets nor DV frames");
    }
    return {format, {}};
}

const char* StreamFormatProbe::Name(StreamFormat format) {
    switch (format) {
        case StreamFormat::kTransportStream:
            return "MPEG-2 transport stream";
        case StreamFormat::kRawDv:
            return "raw DV";
        case StreamFormat::kDvAviType1:
            return "DV in AVI (type 1)";
        case StreamFormat::kDvAviType2:
            return "DV in AVI (type 2)";
        case StreamFormat::kDvQuickTime:
            return "DV in QuickTime";
        case StreamFormat::kNeither:
            break;
    }
    return "neither a transport stream nor DV";
}

}  // namespace vornak::dv
