#include "AviChunkReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "DvContainerFiles.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using test::Bytes;
using test::Chunk;
using test::List;

// A frame's stand-in: bytes no chunk header is made of, one value for each frame.
Bytes Frame(int n, std::size_t size = 144'000) {
    return Bytes(size, static_cast<std::uint8_t>(0xA0 + n));
}

Bytes Avi(const std::vector<Bytes>& movi, const std::vector<Bytes>& after = {}) {
    Bytes file = List("RIFF", "AVI ",
                      {List("LIST", "hdrl", {Chunk("avih", Bytes(56))}), List("LIST", "movi", movi),
                       Chunk("idx1", {})});
    for (const Bytes& part : after) {
        file.insert(file.end(), part.begin(), part.end());
    }
    return file;
}

// Writes a little-endian length at the `nth` (from 0) place `tag` appears, 4 bytes after it.
Bytes SetLength(Bytes file, const char* tag, std::uint32_t length, int nth = 0) {
    auto at = std::search(file.begin(), file.end(), tag, tag + 4);
    while (nth-- > 0) {
        at = std::search(at + 1, file.end(), tag, tag + 4);
    }
    const std::ptrdiff_t lengthAt = std::string_view(tag) == "movi" ? -4 : 4;
    std::memcpy(&*(at + lengthAt), &length, 4);
    return file;
}

TEST(AviChunkReader, HandsOutEveryChunkOfTheStreamAsStored) {
    const Bytes two = Avi({Chunk("00__", Frame(0)), Chunk("00__", Frame(1))});
    const Bytes cut(two.begin(), two.end() - 8 - 100'000);  // in the second frame, no index
    const Bytes unfinished = SetLength(SetLength(two, "RIFF", 0), "movi", 0);
    const Bytes wild =
        SetLength(Avi({Chunk("00__", Frame(0)), Chunk("00__", Frame(1)), Chunk("00__", Frame(2))}),
                  "00__", 0x7FFF'FFFF, 1);
    using Chunks = std::vector<std::pair<std::size_t, int>>;  // each chunk's size and value
    struct Case {
        const char* name;
        Bytes file;
        int stream;
        Chunks chunks;
        std::uint64_t skipped;
    };
    const Case cases[] = {
        {"frames of any length, an odd one padded, an empty one",
         Avi({Chunk("00__", Frame(0)), Chunk("00__", {}), Chunk("00__", Frame(1, 100'001)),
              Chunk("00__", Frame(2, 144'500))}),
         0,
         {{144'000, 0}, {100'001, 1}, {144'500, 2}},
         0},
        {"other chunks, groups and an extension list",
         Avi({Chunk("JUNK", Bytes(20)), Chunk("00__", Frame(0)), Chunk("01wb", Frame(9, 7)),
              List("LIST", "rec ", {Chunk("00__", Frame(1)), Chunk("ix00", Bytes(24))})},
             {List("RIFF", "AVIX", {List("LIST", "movi", {Chunk("00__", Frame(2))})})}),
         0,
         {{144'000, 0}, {144'000, 1}, {144'000, 2}},
         0},
        {"another stream's chunks",
         Avi({Chunk("00dc", Frame(0, 10)), Chunk("01dc", Frame(1)), Chunk("00dc", Frame(2, 10))}),
         1,
         {{144'000, 1}},
         0},
        {"damage between chunks",
         Avi({Chunk("00__", Frame(0)), Bytes(1001, 0xEE), Chunk("00__", Frame(1))}),
         0,
         {{144'000, 0}, {144'000, 1}},
         1001},
        {"a file cut off in a frame", cut, 0, {{144'000, 0}, {44'000, 1}}, 0},
        {"lists whose lengths were never written", unfinished, 0, {{144'000, 0}, {144'000, 1}}, 0},
        {"a length gone wrong", wild, 0, {{144'000, 0}, {144'000, 2}}, 8 + 144'000},
        {"no movi list", List("RIFF", "AVI ", {Chunk("00__", Frame(0))}), 0, {}, 0},
    };
    vornak::test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".avi");
        vornak::test::WriteAll(path, c.file);
        AviChunkReader reader;
        ASSERT_EQ(reader.Open(path, c.stream), "");
        Chunks got;
        std::span<const std::uint8_t> bytes;
        std::int64_t offset = 0;
        AviChunkReader::Status status;
        while ((status = reader.Next(bytes, offset)) == AviChunkReader::Status::kChunk) {
            got.emplace_back(bytes.size(), bytes.empty() ? -1 : bytes[0] - 0xA0);
            ASSERT_LE(static_cast<std::size_t>(offset) + bytes.size(), c.file.size());
            EXPECT_EQ(std::memcmp(bytes.data(), c.file.data() + offset, bytes.size()), 0);
        }
        EXPECT_EQ(status, AviChunkReader::Status::kEnd) << reader.Error();
        EXPECT_EQ(got, c.chunks);
        EXPECT_EQ(reader.SkippedBytes(), c.skipped);
    }
}

}  // namespace
}  // namespace vornak::dv
