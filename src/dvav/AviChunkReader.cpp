#include "AviChunkReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vornak::dv {

namespace {

constexpr std::size_t kTagSize = 4;
constexpr std::size_t kHeaderSize = 8;  // tag and little-endian length
constexpr std::size_t kListHeaderSize = kHeaderSize + kTagSize;
// Damage is searched through in windows of this size.
constexpr std::size_t kSearchWindow = 1024 * 1024;
constexpr int kMaxStreamNumber = 99;  // two decimal digits in a chunk's tag
// Longer than any DV frame (a 1080-line DVCPRO HD frame is 576,000 bytes): a length gone wrong.
constexpr std::uint32_t kMaxChunk = 4 * 1024 * 1024;

std::uint32_t Le32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

bool TagIs(const std::uint8_t* at, const char* tag) {
    return std::memcmp(at, tag, kTagSize) == 0;
}

bool IsTagChar(std::uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
           c == ' ';
}

}  // namespace

AviChunkReader::~AviChunkReader() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string AviChunkReader::Open(const std::string& path, int stream) {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_lists.clear();
    m_skipped = 0;
    m_position = 0;
    m_error.clear();
    if (stream < 0 || stream > kMaxStreamNumber) {
        return m_error = "no such stream";
    }
    m_streamDigits[0] = static_cast<char>('0' + stream / 10);
    m_streamDigits[1] = static_cast<char>('0' + stream % 10);
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        return m_error = std::strerror(errno);
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_lists.push_back({m_size, false});
    return {};
}

bool AviChunkReader::ReadAt(std::uint64_t at, std::uint8_t* into, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd, into + done, size - done, static_cast<off_t>(at + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_error = n < 0 ? std::strerror(errno) : "the file ended early";
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool AviChunkReader::LooksLikeHeader(const std::uint8_t* header, std::uint64_t at,
                                     std::uint64_t end) {
    return std::all_of(header, header + kTagSize, IsTagChar) &&
           Le32(header + kTagSize) <= end - at - kHeaderSize;
}

std::uint64_t AviChunkReader::NextHeader(std::uint64_t from, std::uint64_t end) {
    std::vector<std::uint8_t> window;
    for (std::uint64_t at = from; at + kHeaderSize <= end;) {
        const auto size =
            static_cast<std::size_t>(std::min<std::uint64_t>(end - at, kSearchWindow));
        window.resize(size);
        if (!ReadAt(at, window.data(), size)) {
            return end;
        }
        for (std::size_t i = 0; i + kHeaderSize <= size; ++i) {
            // Only a chunk of this stream, a list or the filler found where damage ends is
            // trusted: any four letters would do too often.
            const std::uint8_t* h = window.data() + i;
            const bool known = (h[0] == m_streamDigits[0] && h[1] == m_streamDigits[1]) ||
                               TagIs(h, "LIST") || TagIs(h, "JUNK") || TagIs(h, "RIFF");
            if (known && LooksLikeHeader(h, at + i, end)) {
                return at + i;
            }
        }
        if (size < kSearchWindow) {
            break;
        }
        at += size - (kHeaderSize - 1);
    }
    return end;
}

AviChunkReader::Status AviChunkReader::Next(std::span<const std::uint8_t>& bytes,
                                            std::int64_t& offset) {
    if (m_fd < 0) {
        return Status::kEnd;
    }
    for (;;) {
        while (!m_lists.empty() && m_position >= m_lists.back().end) {
            m_position = std::max(m_position, m_lists.back().end);
            m_lists.pop_back();
        }
        if (m_lists.empty()) {
            return Status::kEnd;
        }
        const List list = m_lists.back();
        if (list.end - m_position < kHeaderSize) {
            if (list.movi) {
                m_skipped += list.end - m_position;
            }
            m_position = list.end;
            continue;
        }
        std::uint8_t header[kListHeaderSize] = {};
        const std::size_t headerBytes = static_cast<std::size_t>(
            std::min<std::uint64_t>(kListHeaderSize, list.end - m_position));
        if (!ReadAt(m_position, header, headerBytes)) {
            return Status::kError;
        }
        const std::uint64_t body = m_position + kHeaderSize;
        const std::uint32_t length = Le32(header + kTagSize);
        const bool overruns = length > list.end - body;
        const bool isList = TagIs(header, "LIST") || TagIs(header, "RIFF");
        const bool ours = list.movi && header[0] == static_cast<std::uint8_t>(m_streamDigits[0]) &&
                          header[1] == static_cast<std::uint8_t>(m_streamDigits[1]);
        bool damaged = !std::all_of(header, header + kTagSize, IsTagChar);
        if (!damaged && isList && headerBytes == kListHeaderSize) {
            const std::uint8_t* type = header + kHeaderSize;
            const bool riffBody = TagIs(header, "RIFF") && m_lists.size() == 1 &&
                                  (TagIs(type, "AVI ") || TagIs(type, "AVIX"));
            const bool movi = TagIs(header, "LIST") && (TagIs(type, "movi") || TagIs(type, "rec "));
            if (riffBody || (movi && (list.movi || m_lists.size() == 2))) {
                // A capture cut off leaves a list's length unwritten (0) or past the file's
                // end: the list then runs to the end of the one it is in.
                m_lists.push_back({length == 0 || overruns ? list.end : body + length, movi});
                m_position = body + kTagSize;
                continue;
            }
        } else if (!damaged && ours && length == 0) {
            // Some capture programs leave an empty chunk for a frame they lost: nothing to
            // hand out; the frames around it say what is missing.
        } else if (!damaged && ours && length <= kMaxChunk && (!overruns || list.end == m_size)) {
            // A chunk cut off by the end of the file is handed out as far as it goes.
            const auto size = static_cast<std::size_t>(overruns ? list.end - body : length);
            m_buffer.resize(size);
            if (!ReadAt(body, m_buffer.data(), size)) {
                return Status::kError;
            }
            m_position = std::min(body + length + (length & 1U), list.end);
            bytes = m_buffer;
            offset = static_cast<std::int64_t>(body);
            return Status::kChunk;
        } else if (!damaged && ours) {
            damaged = true;  // longer than any frame, or past its list: a length gone wrong
        }
        if (!damaged && !overruns) {
            // Bodies are padded to an even length; the pad byte may be missing at a list's end.
            m_position = std::min(body + length + (length & 1U), list.end);
            continue;
        }
        if (!list.movi) {
            m_position = list.end;  // a header list cut short: nothing of the stream in it
            continue;
        }
        // Damage in a movi list: passed over to the next chunk header, and counted.
        const std::uint64_t next = NextHeader(m_position + 1, list.end);
        if (!m_error.empty()) {
            return Status::kError;
        }
        m_skipped += next - m_position;
        m_position = next;
    }
}

}  // namespace vornak::dv
