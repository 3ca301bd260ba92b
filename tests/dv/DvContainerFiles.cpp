#include "DvContainerFiles.h"

#include <cstdlib>
#include <span>

#include "DvFrameReader.h"

namespace vornak::dv::test {

namespace {

void Tag(std::vector<std::uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

void Le32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void Le16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PatchLe32(std::vector<std::uint8_t>& out, std::size_t at, std::size_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Begins a chunk (or, with a list type, a list); returns where its length goes.
std::size_t Open(std::vector<std::uint8_t>& out, const char* tag, const char* listType = nullptr) {
    Tag(out, tag);
    const std::size_t length = out.size();
    Le32(out, 0);
    if (listType != nullptr) {
        Tag(out, listType);
    }
    return length;
}

void Close(std::vector<std::uint8_t>& out, std::size_t length) {
    PatchLe32(out, length, out.size() - length - 4);
    if (out.size() % 2 != 0) {
        out.push_back(0);
    }
}

}  // namespace

Frames RawFrames(const std::vector<std::uint8_t>& raw) {
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

std::string CopyWithFfmpeg(const std::string& in, const std::string& format,
                           const std::string& out) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -i '" + in +
                                "' -c copy -f " + format + " '" + out + "'";
    return std::system(command.c_str()) == 0 ? std::string() : command;
}

std::vector<std::uint8_t> AviType1(const Frames& frames) {
    return AviDv(frames, 1);
}

std::vector<std::uint8_t> AviDv(const Frames& frames, int type) {
    const bool interleaved = type == 1;
    const char* const chunkId = interleaved ? "00__" : "00dc";
    constexpr std::uint32_t kWidth = 720;
    constexpr std::uint32_t kHeight = 576;
    constexpr std::uint32_t kRate = 25;
    constexpr std::uint32_t kFrameMicroseconds = 40'000;
    constexpr std::uint32_t kHasIndex = 0x10;
    constexpr std::uint32_t kInterleaved = 0x100;
    constexpr std::uint32_t kKeyFrame = 0x10;
    constexpr std::size_t kDvInfoSize = 32;
    constexpr std::uint32_t kBitmapInfoSize = 40;
    constexpr std::size_t kBitmapInfoCompressionEnd = 20;
    constexpr std::uint16_t kDvBits = 24;
    const auto count = static_cast<std::uint32_t>(frames.size());
    const auto frameSize = static_cast<std::uint32_t>(frames.empty() ? 0 : frames[0].size());

    std::vector<std::uint8_t> out;
    const std::size_t riff = Open(out, "RIFF", "AVI ");
    const std::size_t hdrl = Open(out, "LIST", "hdrl");
    const std::size_t avih = Open(out, "avih");
    for (const std::uint32_t field :
         {kFrameMicroseconds, frameSize * kRate, 0U, kHasIndex | kInterleaved, count, 0U, 1U,
          frameSize, kWidth, kHeight, 0U, 0U, 0U, 0U}) {
        Le32(out, field);
    }
    Close(out, avih);
    const std::size_t strl = Open(out, "LIST", "strl");
    const std::size_t strh = Open(out, "strh");
    Tag(out, interleaved ? "iavs" : "vids");
    Tag(out, "dvsd");
    for (const std::uint32_t field :
         {0U, 0U, 0U, 1U, kRate, 0U, count, frameSize, 0xFFFF'FFFFU, 0U}) {
        Le32(out, field);  // flags, priority and language, initial frames, scale, rate, ...
    }
    for (const std::uint16_t edge :
         {std::uint16_t{0}, std::uint16_t{0}, static_cast<std::uint16_t>(kWidth),
          static_cast<std::uint16_t>(kHeight)}) {
        Le16(out, edge);
    }
    Close(out, strh);
    const std::size_t strf = Open(out, "strf");
    if (interleaved) {
        out.resize(out.size() + kDvInfoSize, 0);  // the DV packs a player may show; none needed
    } else {
        // BITMAPINFOHEADER: size, width, height, planes and bits, compression, the rest 0.
        Le32(out, kBitmapInfoSize);
        Le32(out, kWidth);
        Le32(out, kHeight);
        Le16(out, 1);
        Le16(out, kDvBits);
        Tag(out, "dvsd");
        out.resize(out.size() + kBitmapInfoSize - kBitmapInfoCompressionEnd, 0);
    }
    Close(out, strf);
    Close(out, strl);
    Close(out, hdrl);

    const std::size_t movi = Open(out, "LIST", "movi");
    const std::size_t moviType = movi + 4;
    std::vector<std::uint32_t> offsets;
    for (const auto& frame : frames) {
        offsets.push_back(static_cast<std::uint32_t>(out.size() - moviType));
        const std::size_t chunk = Open(out, chunkId);
        out.insert(out.end(), frame.begin(), frame.end());
        Close(out, chunk);
    }
    Close(out, movi);
    const std::size_t idx1 = Open(out, "idx1");
    for (std::size_t i = 0; i < frames.size(); ++i) {
        Tag(out, chunkId);
        Le32(out, kKeyFrame);
        Le32(out, offsets[i]);
        Le32(out, static_cast<std::uint32_t>(frames[i].size()));
    }
    Close(out, idx1);
    Close(out, riff);
    return out;
}

}  // namespace vornak::dv::test
