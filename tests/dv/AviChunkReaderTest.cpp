#include "AviChunkReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "TestSupport.h"

namespace vornak::dv {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutLe32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

Bytes Chunk(const char* tag, const Bytes& body) {
    Bytes out(8 + body.size());
    std::memcpy(out.data(), tag, 4);
    PutLe32(out, 4, static_cast<std::uint32_t>(body.size()));
    std::copy(body.begin(), body.end(), out.begin() + 8);
    if (body.size() % 2 != 0) {
        out.push_back(0);
    }
    return out;
}

Bytes List(const char* tag, const char* type, std::initializer_list<Bytes> children) {
    Bytes body(type, type + 4);
    for (const Bytes& child : children) {
        body.insert(body.end(), child.begin(), child.end());
    }
    return Chunk(tag, body);
}

// A frame's stand-in: bytes no chunk header is made of, one value for each frame.
Bytes Frame(int n, std::size_t size = 144'000) {
    return Bytes(size, static_cast<std::uint8_t>(0xA0 + n));
}

Bytes Header() {
    return List("LIST", "hdrl", {Chunk("avih", Bytes(56, 0))});
}

Bytes Avi(std::initializer_list<Bytes> movi, std::initializer_list<Bytes> after = {}) {
    Bytes file = List("RIFF", "AVI ", {Header(), List("LIST", "movi", movi), Chunk("idx1", {})});
    for (const Bytes& part : after) {
        file.insert(file.end(), part.begin(), part.end());
    }
    return file;
}

std::size_t Find(const Bytes& file, const char* tag) {
    const auto it = std::search(file.begin(), file.end(), tag, tag + 4);
    return static_cast<std::size_t>(it - file.begin());
}

// What was handed out: each chunk's size and value.
using Chunks = std::vector<std::pair<std::size_t, int>>;

TEST(AviChunkReader, HandsOutEveryChunkOfTheStreamAsStored) {
    Bytes damaged = Avi({Chunk("00__", Frame(0)), Bytes(1001, 0xEE), Chunk("00__", Frame(1))});
    Bytes cut = Avi({Chunk("00__", Frame(0)), Chunk("00__", Frame(1))});
    cut.resize(cut.size() - 8 - 100'000);  // into the second frame; the index is gone too
    Bytes unfinished = Avi({Chunk("00__", Frame(0)), Chunk("00__", Frame(1))});
    PutLe32(unfinished, 4, 0);                             // the RIFF list's length
    PutLe32(unfinished, Find(unfinished, "movi") - 4, 0);  // the movi list's length
    Bytes wildLength =
        Avi({Chunk("00__", Frame(0)), Chunk("00__", Frame(1)), Chunk("00__", Frame(2))});
    PutLe32(wildLength, Find(wildLength, "movi") + 4 + 8 + 144'000 + 4, 0x7FFF'FFFF);

    struct Case {
        const char* name;
        Bytes file;
        int stream;
        Chunks chunks;
        std::uint64_t skipped;
    };
    const Case cases[] = {
        {"frames of any length, an odd one padded",
         Avi({Chunk("00__", Frame(0)), Chunk("00__", Frame(1, 100'001)),
              Chunk("00__", Frame(2, 144'500))}),
         0,
         {{144'000, 0}, {100'001, 1}, {144'500, 2}},
         0},
        {"other chunks, groups and an extension list",
         Avi({Chunk("JUNK", Bytes(20, 0)), Chunk("00__", Frame(0)), Chunk("01wb", Frame(9, 7)),
              List("LIST", "rec ", {Chunk("00__", Frame(1)), Chunk("ix00", Bytes(24, 0))})},
             {List("RIFF", "AVIX", {List("LIST", "movi", {Chunk("00__", Frame(2))})})}),
         0,
         {{144'000, 0}, {144'000, 1}, {144'000, 2}},
         0},
        {"another stream's chunks",
         Avi({Chunk("00dc", Frame(0, 10)), Chunk("01dc", Frame(1)), Chunk("00dc", Frame(2, 10))}),
         1,
         {{144'000, 1}},
         0},
        {"damage between chunks", damaged, 0, {{144'000, 0}, {144'000, 1}}, 1001},
        {"a file cut off in a frame", cut, 0, {{144'000, 0}, {44'000, 1}}, 0},
        {"lists whose lengths were never written", unfinished, 0, {{144'000, 0}, {144'000, 1}}, 0},
        {"a length gone wrong", wildLength, 0, {{144'000, 0}, {144'000, 2}}, 8 + 144'000},
        {"no movi list", List("RIFF", "AVI ", {Header(), Chunk("00__", Frame(0))}), 0, {}, 0},
    };
    vornak::test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("file.avi");
        std::remove(path.c_str());
        vornak::test::WriteAll(path, c.file);
        AviChunkReader reader;
        ASSERT_EQ(reader.Open(path, c.stream), "");
        EXPECT_EQ(reader.FileSize(), static_cast<std::int64_t>(c.file.size()));
        Chunks got;
        std::span<const std::uint8_t> bytes;
        std::int64_t offset = 0;
        AviChunkReader::Status status;
        while ((status = reader.Next(bytes, offset)) == AviChunkReader::Status::kChunk) {
            got.emplace_back(bytes.size(), bytes.empty() ? -1 : bytes[0] - 0xA0);
            // Exactly the file's bytes at the offset.
            ASSERT_LE(static_cast<std::size_t>(offset) + bytes.size(), c.file.size());
            EXPECT_EQ(std::memcmp(bytes.data(), c.file.data() + offset, bytes.size()), 0);
        }
        EXPECT_EQ(status, AviChunkReader::Status::kEnd) << reader.Error();
        EXPECT_EQ(got, c.chunks);
        EXPECT_EQ(reader.SkippedBytes(), c.skipped);
    }
}

TEST(AviChunkReader, SaysWhyAFileCannotBeRead) {
    AviChunkReader reader;
    EXPECT_EQ(reader.Open("/nonexistent/file.avi", 0), "No such file or directory");
    std::span<const std::uint8_t> bytes;
    std::int64_t offset = 0;
    EXPECT_EQ(reader.Next(bytes, offset), AviChunkReader::Status::kEnd);
}

}  // namespace
}  // namespace vornak::dv
