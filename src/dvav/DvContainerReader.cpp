#include "DvContainerReader.h"

#include <cstring>

#include "FileStart.h"
#include "RiffWalk.h"

extern "C" {
#include <libavcodec/packet.h>
}

namespace vornak::dv {

namespace {
// Enough of an AVI file's start to hold its header list.
constexpr std::size_t kHeaderListBytes = 4 * 1024 * 1024;
}  // namespace

void DvContainerReader::PacketFree::operator()(AVPacket* packet) const {
    av_packet_free(&packet);
}

DvContainerReader::DvContainerReader() : m_packet(av_packet_alloc()) {}

DvContainerReader::~DvContainerReader() = default;

bool DvContainerReader::Fail(const std::string& reason) {
    m_error = "Cannot read DV from \"" + m_path + "\": " + reason;
    return false;
}

bool DvContainerReader::Open(const std::string& path) {
    m_path = path;
    m_error.clear();
    m_stream = -1;
    if (!m_packet) {
        return Fail("out of memory");
    }
    av_packet_unref(m_packet.get());
    // The content decides what the file is, never its name.
    const FileStart start = FileStart::Read(path, kHeaderListBytes);
    if (!start.regular) {
        return Fail("the file is no regular file");
    }
    if (start.error != 0) {
        return Fail(std::strerror(start.error));
    }
    const AVInputFormat* format = FfmpegInput::ContainerOf(start.bytes);
    if (format == nullptr) {
        return Fail("the file is neither an AVI nor a QuickTime file");
    }
    if (const std::string error = m_input.Open(path, format); !error.empty()) {
        return Fail(error);
    }
    m_stream = m_input.DvVideoStream();
    if (m_stream < 0) {
        return Fail("the file holds no DV video");
    }
    m_type1 = false;
    if (FfmpegInput::IsAvi(format)) {
        const int interleaved = RiffWalk::InterleavedDvStream(start.bytes);
        if (interleaved >= 0) {
            m_type1 = true;
            m_input.Close();
            if (const std::string error = m_chunks.Open(path, interleaved); !error.empty()) {
                return Fail(error);
            }
        }
    }
    return true;
}

DvContainerReader::Status DvContainerReader::Next(DvContainerFrame& frame) {
    av_packet_unref(m_packet.get());
    if (m_type1) {
        switch (m_chunks.Next(frame.bytes, frame.fileOffset)) {
            case AviChunkReader::Status::kChunk:
                return Status::kFrame;
            case AviChunkReader::Status::kEnd:
                return Status::kEnd;
            case AviChunkReader::Status::kError:
                break;
        }
        Fail(m_chunks.Error());
        return Status::kError;
    }
    AVFormatContext* const context = m_input.Context();
    if (context == nullptr || m_stream < 0) {
        return Status::kEnd;
    }
    for (;;) {
        const int result = av_read_frame(context, m_packet.get());
        if (result == AVERROR_EOF) {
            return Status::kEnd;
        }
        if (result < 0) {
            Fail(FfmpegInput::ErrorText(result));
            return Status::kError;
        }
        if (m_packet->stream_index == m_stream && m_packet->size > 0) {
            frame.bytes = {m_packet->data, static_cast<std::size_t>(m_packet->size)};
            frame.fileOffset = m_packet->pos;
            return Status::kFrame;
        }
        av_packet_unref(m_packet.get());
    }
}

std::int64_t DvContainerReader::FileSize() const {
    if (m_type1) {
        return m_chunks.FileSize();
    }
    AVFormatContext* const context = m_input.Context();
    if (context == nullptr || context->pb == nullptr) {
        return -1;
    }
    const std::int64_t size = avio_size(context->pb);
    return size >= 0 ? size : -1;
}

}  // namespace vornak::dv
