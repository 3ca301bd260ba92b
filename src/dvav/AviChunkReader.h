// Reads the chunks of one stream of an AVI file in file order, straight from the file, each
// exactly as stored. For DV in type 1 files: libavformat's AVI reader passes their interleaved
// chunks through its DV reader, which drops a chunk shorter than a frame and cuts a longer one.
//
// Follows the movi lists of the first RIFF list and of the extension lists after it (files past
// a gigabyte), and the 'rec ' groups in them. Lengths are checked against the list they are in
// and the file; bytes in a movi list that begin no chunk are passed over to the next chunk
// header and counted.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vornak::dv {

class AviChunkReader {
  public:
    AviChunkReader() = default;
    ~AviChunkReader();
    AviChunkReader(const AviChunkReader&) = delete;
    AviChunkReader& operator=(const AviChunkReader&) = delete;

    // Opens the file to read the chunks of stream `stream` (its number in the header list).
    // Empty on success, else the system's reason.
    std::string Open(const std::string& path, int stream);

    enum class Status : std::uint8_t { kChunk, kEnd, kError };
    // The next chunk of the stream: `bytes` (valid until the next call) and where they lie in
    // the file. kError: the file could not be read (Error() says why).
    Status Next(std::span<const std::uint8_t>& bytes, std::int64_t& offset);

    // Bytes in the movi lists passed over because they began no chunk: damage.
    std::uint64_t SkippedBytes() const { return m_skipped; }
    std::int64_t FileSize() const { return static_cast<std::int64_t>(m_size); }
    const std::string& Error() const { return m_error; }

  private:
    struct List {
        std::uint64_t end;
        bool movi;  // holds the stream's chunks
    };
    bool ReadAt(std::uint64_t at, std::uint8_t* into, std::size_t size);
    // Where the next thing that looks like a chunk header begins in [from, end); end if none.
    std::uint64_t NextHeader(std::uint64_t from, std::uint64_t end);
    static bool LooksLikeHeader(const std::uint8_t* header, std::uint64_t at, std::uint64_t end);

    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;
    std::vector<List> m_lists;
    char m_streamDigits[2] = {'0', '0'};
    std::uint64_t m_skipped = 0;
    std::vector<std::uint8_t> m_buffer;
    std::string m_error;
};

}  // namespace vornak::dv
