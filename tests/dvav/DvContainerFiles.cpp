#include "DvContainerFiles.h"

#include <cstdlib>
#include <cstring>
#include <span>

namespace vornak::dv::test {

namespace {

Bytes Le32s(std::initializer_list<std::uint32_t> values) {
    Bytes out;
    for (const std::uint32_t value : values) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

}  // namespace

std::string CopyWithFfmpeg(const std::string& in, const std::string& format,
                           const std::string& out) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -i '" + in +
                                "' -c copy -f " + format + " '" + out + "'";
    return std::system(command.c_str()) == 0 ? std::string() : command;
}

Bytes Chunk(const char* tag, const Bytes& body) {
    Bytes out = Join({Bytes(tag, tag + 4), Le32s({static_cast<std::uint32_t>(body.size())}), body});
    if (body.size() % 2 != 0) {
        out.push_back(0);
    }
    return out;
}

Bytes List(const char* tag, const char* type, const std::vector<Bytes>& children) {
    Bytes body(type, type + 4);
    for (const Bytes& child : children) {
        body.insert(body.end(), child.begin(), child.end());
    }
    return Chunk(tag, body);
}

Bytes AviType1(const Frames& frames, int stream) {
    constexpr std::uint32_t kWidth = 720;
    constexpr std::uint32_t kHeight = 576;
    constexpr std::uint32_t kRate = 25;
    constexpr std::uint32_t kFrameMicroseconds = 40'000;
    constexpr std::uint32_t kHasIndexInterleaved = 0x110;
    constexpr std::uint32_t kKeyFrame = 0x10;
    constexpr std::size_t kDvInfoSize = 32;  // the packs a player may show; none needed here
    const auto count = static_cast<std::uint32_t>(frames.size());
    const auto size = static_cast<std::uint32_t>(frames.empty() ? 0 : frames[0].size());
    const char chunkId[5] = {static_cast<char>('0' + stream / 10),
                             static_cast<char>('0' + stream % 10), '_', '_', '\0'};

    std::vector<Bytes> header = {
        Chunk("avih",
              Le32s({kFrameMicroseconds, size * kRate, 0, kHasIndexInterleaved, count, 0,
                     static_cast<std::uint32_t>(stream + 1), size, kWidth, kHeight, 0, 0, 0, 0}))};
    // Type, handler, flags, priority and language, initial frames, scale, rate, start, length,
    // buffer size, quality, sample size, and the frame's rectangle.
    const auto streamHeader = [&](const char* type) {
        return Join({Bytes(type, type + 4), Bytes{'d', 'v', 's', 'd'},
                     Le32s({0, 0, 0, 1, kRate, 0, count, size, 0xFFFF'FFFF, 0, 0,
                            kWidth | kHeight << 16})});
    };
    for (int s = 0; s < stream; ++s) {
        header.push_back(List("LIST", "strl", {Chunk("strh", streamHeader("auds"))}));
    }
    header.push_back(List(
        "LIST", "strl", {Chunk("strh", streamHeader("iavs")), Chunk("strf", Bytes(kDvInfoSize))}));

    std::vector<Bytes> chunks;
    Bytes index;
    std::uint32_t offset = 4;  // from the movi list's type
    for (const Bytes& frame : frames) {
        chunks.push_back(Chunk(chunkId, frame));
        index = Join({index, Bytes(chunkId, chunkId + 4),
                      Le32s({kKeyFrame, offset, static_cast<std::uint32_t>(frame.size())})});
        offset += static_cast<std::uint32_t>(chunks.back().size());
    }
    return List("RIFF", "AVI ",
                {List("LIST", "hdrl", header), List("LIST", "movi", chunks), Chunk("idx1", index)});
}

}  // namespace vornak::dv::test
