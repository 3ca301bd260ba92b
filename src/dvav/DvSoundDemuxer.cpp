#include "DvSoundDemuxer.h"

#include <algorithm>
#include <cstring>

namespace vornak::dv {

namespace {
// The DV reader asks for a whole frame at once; a small buffer is enough for the rest.
constexpr int kIoBufferSize = 4096;
const std::vector<std::uint8_t> kNoPcm;
}  // namespace

DvSoundDemuxer::~DvSoundDemuxer() {
    CloseDemuxer();
}

void DvSoundDemuxer::CloseDemuxer() {
    avformat_close_input(&m_context);
    if (m_io != nullptr) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

int DvSoundDemuxer::Read(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<DvSoundDemuxer*>(opaque);
    const std::size_t left = self->m_frame.size() - self->m_used;
    if (left == 0) {
        return AVERROR_EOF;  // until the next frame is given
    }
    const std::size_t n = std::min(left, static_cast<std::size_t>(size));
    std::memcpy(buffer, self->m_frame.data() + self->m_used, n);
    self->m_used += n;
    return static_cast<int>(n);
}

bool DvSoundDemuxer::OpenDemuxer() {
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
    if (buffer == nullptr) {
        return false;
    }
    m_io =
        avio_alloc_context(buffer, kIoBufferSize, 0, this, &DvSoundDemuxer::Read, nullptr, nullptr);
    if (m_io == nullptr) {
        av_free(buffer);
        return false;
    }
    m_context = avformat_alloc_context();
    if (m_context == nullptr) {
        return false;
    }
    m_context->pb = m_io;
    m_context->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure avformat_open_input frees the context and sets it to null.
    return avformat_open_input(&m_context, nullptr, av_find_input_format("dv"), nullptr) >= 0;
}

int DvSoundDemuxer::SoundIndex(int streamIndex) const {
    int sound = 0;
    for (int i = 0; i < static_cast<int>(m_context->nb_streams); ++i) {
        if (m_context->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            continue;
        }
        if (i == streamIndex) {
            return sound;
        }
        ++sound;
    }
    return -1;
}

bool DvSoundDemuxer::Take(std::span<const std::uint8_t> frame) {
    for (auto& pcm : m_pcm) {
        pcm.clear();
    }
    m_frame = frame;
    m_used = 0;
    if (m_io != nullptr) {
        m_io->eof_reached = 0;  // the last frame ran out; this one has not
    }
    if (m_context == nullptr && !OpenDemuxer()) {
        // No DV header in this frame: the next one may do.
        CloseDemuxer();
        return false;
    }
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr) {
        return false;
    }
    bool picture = false;
    // The picture comes first, then the sound held back from it; then the reader runs out.
    while (av_read_frame(m_context, packet) >= 0) {
        const int sound = SoundIndex(packet->stream_index);
        if (sound < 0) {
            picture = true;
        } else {
            if (m_pcm.size() <= static_cast<std::size_t>(sound)) {
                m_pcm.resize(static_cast<std::size_t>(sound) + 1);
            }
            m_pcm[static_cast<std::size_t>(sound)].assign(packet->data,
                                                          packet->data + packet->size);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return picture;
}

int DvSoundDemuxer::Streams() const {
    if (m_context == nullptr) {
        return 0;
    }
    int sounds = 0;
    for (unsigned i = 0; i < m_context->nb_streams; ++i) {
        sounds += m_context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO ? 1 : 0;
    }
    return sounds;
}

const AVCodecParameters* DvSoundDemuxer::Parameters(int stream) const {
    int sound = 0;
    for (unsigned i = 0; m_context != nullptr && i < m_context->nb_streams; ++i) {
        const AVCodecParameters* codec = m_context->streams[i]->codecpar;
        if (codec->codec_type == AVMEDIA_TYPE_AUDIO && sound++ == stream) {
            return codec;
        }
    }
    return nullptr;
}

const std::vector<std::uint8_t>& DvSoundDemuxer::Pcm(int stream) const {
    return stream >= 0 && static_cast<std::size_t>(stream) < m_pcm.size()
               ? m_pcm[static_cast<std::size_t>(stream)]
               : kNoPcm;
}

}  // namespace vornak::dv
