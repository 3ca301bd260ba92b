#include "DvContainerWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "DvFrameParser.h"
#include "FfmpegInput.h"

extern "C" {
#include <libavcodec/dv_profile.h>
}

namespace vornak::dv {

namespace {
constexpr mode_t kNewFileMode = 0666;  // narrowed by the user's umask
constexpr int kIoBufferSize = 256 * 1024;
// libavformat's names of the containers written.
constexpr const char* kAviMuxer = "avi";
constexpr const char* kQuickTimeMuxer = "mov";
}  // namespace

DvContainerWriter::~DvContainerWriter() {
    Release();
}

bool DvContainerWriter::Fail(const std::string& reason, int error) {
    m_lastError = error;
    m_error = "Cannot write \"" + m_path + "\": " + reason;
    return false;
}

bool DvContainerWriter::FailFfmpeg(int result) {
    // A failure of the file itself says more than libavformat's summary of it.
    if (m_ioError != 0) {
        return Fail(std::strerror(m_ioError), m_ioError);
    }
    return Fail(FfmpegInput::ErrorText(result));
}

void DvContainerWriter::Release() {
    if (m_context != nullptr) {
        avformat_free_context(m_context);  // the file's I/O is ours and goes below
        m_context = nullptr;
    }
    if (m_io != nullptr) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_begun = false;
    m_sound.reset();
    m_videoStream = -1;
    m_soundStreams.clear();
    m_soundSamples.clear();
    m_soundFrameBytes.clear();
}

int DvContainerWriter::WriteOut(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<DvContainerWriter*>(opaque);
    std::size_t done = 0;
    while (done < static_cast<std::size_t>(size)) {
        const ssize_t n = ::write(self->m_fd, buffer + done, static_cast<std::size_t>(size) - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            self->m_ioError = n < 0 ? errno : ENOSPC;
            return AVERROR(self->m_ioError);
        }
        done += static_cast<std::size_t>(n);
    }
    return size;
}

std::int64_t DvContainerWriter::SeekOut(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<DvContainerWriter*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) {
        struct stat st {};
        return ::fstat(self->m_fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size)
                                             : AVERROR(errno);
    }
    const off_t at = ::lseek(self->m_fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    if (at < 0) {
        self->m_ioError = errno;
        return AVERROR(errno);
    }
    return at;
}

DvContainerWriter::Create DvContainerWriter::CreateNew(const std::string& path,
                                                       DvContainer container) {
    Release();
    m_path = path;
    m_container = container;
    m_error.clear();
    m_lastError = 0;
    m_ioError = 0;
    m_frames = 0;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (m_fd < 0) {
        const int error = errno;
        Fail(std::strerror(error), error);
        return error == EEXIST ? Create::kAlreadyExists : Create::kFailed;
    }
    const char* const muxer = container == DvContainer::kAvi ? kAviMuxer : kQuickTimeMuxer;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferSize));
    if (buffer != nullptr) {
        m_io = avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr,
                                  &DvContainerWriter::WriteOut, &DvContainerWriter::SeekOut);
        if (m_io == nullptr) {
            av_free(buffer);
        }
    }
    if (m_io == nullptr ||
        avformat_alloc_output_context2(&m_context, nullptr, muxer, nullptr) < 0) {
        Fail("out of memory");
        Release();
        return Create::kFailed;
    }
    m_context->pb = m_io;
    m_sound = std::make_unique<DvSoundDemuxer>();
    return Create::kCreated;
}

bool DvContainerWriter::Begin(std::span<const std::uint8_t> frame) {
    const AVDVProfile* profile =
        av_dv_frame_profile(nullptr, frame.data(), static_cast<unsigned>(frame.size()));
    if (profile == nullptr) {
        return Fail("the first frame is not DV");
    }
    DvFrameInfo info;
    const bool wide = DvFrameParser::Parse(frame, info) && info.aspect == DvAspect::k16x9;

    AVStream* video = avformat_new_stream(m_context, nullptr);
    if (video == nullptr) {
        return Fail("out of memory");
    }
    m_videoStream = video->index;
    m_videoTimeBase = profile->time_base;
    AVCodecParameters* codec = video->codecpar;
    codec->codec_type = AVMEDIA_TYPE_VIDEO;
    codec->codec_id = AV_CODEC_ID_DVVIDEO;
    codec->width = profile->width;
    codec->height = profile->height;
    codec->format = profile->pix_fmt;
    codec->sample_aspect_ratio = profile->sar[wide ? 1 : 0];
    codec->bit_rate = static_cast<std::int64_t>(profile->frame_size) * 8 * profile->time_base.den /
                      profile->time_base.num;
    video->time_base = profile->time_base;
    video->avg_frame_rate = av_inv_q(profile->time_base);
    video->sample_aspect_ratio = codec->sample_aspect_ratio;

    // The sound streams are those the first frame holds.
    m_sound->Take(frame);
    for (int s = 0; s < m_sound->Streams(); ++s) {
        const AVCodecParameters* pcm = m_sound->Parameters(s);
        const int bytes = av_get_bits_per_sample(pcm->codec_id) / 8 * pcm->ch_layout.nb_channels;
        if (bytes <= 0 || pcm->sample_rate <= 0) {
            continue;
        }
        AVStream* sound = avformat_new_stream(m_context, nullptr);
        if (sound == nullptr || avcodec_parameters_copy(sound->codecpar, pcm) < 0) {
            return Fail("out of memory");
        }
        sound->codecpar->codec_tag = 0;  // the container's own tag for it
        sound->time_base = {1, pcm->sample_rate};
        m_soundStreams.push_back(sound->index);
        m_soundSamples.push_back(0);
        m_soundFrameBytes.push_back(bytes);
    }
    if (const int result = avformat_write_header(m_context, nullptr); result < 0) {
        return FailFfmpeg(result);
    }
    m_begun = true;
    return true;
}

bool DvContainerWriter::WritePacket(int stream, std::span<const std::uint8_t> bytes,
                                    std::int64_t pts, std::int64_t duration) {
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr) {
        return Fail("out of memory");
    }
    // Not copied: libavformat writes the bytes straight from the caller's frame.
    packet->data = const_cast<std::uint8_t*>(bytes.data());
    packet->size = static_cast<int>(bytes.size());
    packet->stream_index = stream;
    packet->pts = pts;
    packet->dts = pts;
    packet->duration = duration;
    packet->flags |= AV_PKT_FLAG_KEY;
    // Pictures are counted in frames, sound in samples.
    const AVCodecParameters* codec = m_context->streams[stream]->codecpar;
    const AVRational from =
        stream == m_videoStream ? m_videoTimeBase : AVRational{1, codec->sample_rate};
    av_packet_rescale_ts(packet, from, m_context->streams[stream]->time_base);
    const int result = av_write_frame(m_context, packet);
    av_packet_free(&packet);
    return result >= 0 || FailFfmpeg(result);
}

bool DvContainerWriter::Write(std::span<const std::uint8_t> frame) {
    if (m_fd < 0 || m_context == nullptr) {
        return Fail("the file is not open");
    }
    if (frame.empty()) {
        return true;
    }
    if (!m_begun) {
        if (!Begin(frame)) {
            return false;
        }
    } else {
        m_sound->Take(frame);
    }
    if (!WritePacket(m_videoStream, frame, m_frames, 1)) {
        return false;
    }
    ++m_frames;
    for (std::size_t s = 0; s < m_soundStreams.size(); ++s) {
        const std::vector<std::uint8_t>& pcm = m_sound->Pcm(static_cast<int>(s));
        const std::int64_t samples = static_cast<std::int64_t>(pcm.size()) / m_soundFrameBytes[s];
        if (samples == 0) {
            continue;  // no sound could be read from this frame
        }
        if (!WritePacket(m_soundStreams[s], pcm, m_soundSamples[s], samples)) {
            return false;
        }
        m_soundSamples[s] += samples;
    }
    return true;
}

bool DvContainerWriter::Close() {
    if (m_fd < 0) {
        return true;
    }
    bool ok = true;
    if (m_begun) {
        if (const int result = av_write_trailer(m_context); result < 0) {
            ok = FailFfmpeg(result);
        }
    }
    avio_flush(m_io);
    if (ok && m_ioError != 0) {
        ok = Fail(std::strerror(m_ioError), m_ioError);
    }
    if (const int error = m_pSync->SyncFile(m_fd); ok && error != 0) {
        ok = Fail(std::strerror(error), error);
    }
    if (::close(m_fd) != 0 && ok && errno != EINTR) {
        ok = Fail(std::strerror(errno), errno);
    }
    m_fd = -1;
    Release();
    return ok;
}

}  // namespace vornak::dv
