#include "FfmpegInput.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vornak::dv {

namespace {

// libavformat's names of the containers DV is read from.
constexpr const char* kAviFormat = "avi";
constexpr const char* kQuickTimeFormat = "mov";

bool NamedLike(const AVInputFormat* format, const char* name) {
    // A demuxer's name may list several (the QuickTime one is "mov,mp4,m4a,..."); the first
    // is the one meant.
    const std::size_t length = std::strlen(name);
    return format != nullptr && std::strncmp(format->name, name, length) == 0 &&
           (format->name[length] == '\0' || format->name[length] == ',');
}

}  // namespace

const AVInputFormat* FfmpegInput::ContainerOf(std::span<const std::uint8_t> start) {
    std::vector<std::uint8_t> padded(start.size() + AVPROBE_PADDING_SIZE, 0);
    std::copy(start.begin(), start.end(), padded.begin());
    AVProbeData probe{};
    probe.filename = "";  // so that no name sways it
    probe.buf = padded.data();
    probe.buf_size = static_cast<int>(start.size());
    int score = 0;
    const AVInputFormat* format = av_probe_input_format2(&probe, 1, &score);
    return NamedLike(format, kAviFormat) || NamedLike(format, kQuickTimeFormat) ? format : nullptr;
}

bool FfmpegInput::IsAvi(const AVInputFormat* format) {
    return NamedLike(format, kAviFormat);
}

FfmpegInput::~FfmpegInput() {
    avformat_close_input(&m_context);
}

std::string FfmpegInput::Open(const std::string& path, const AVInputFormat* format) {
    avformat_close_input(&m_context);
    if (const int error = avformat_open_input(&m_context, path.c_str(), format, nullptr);
        error < 0) {
        return ErrorText(error);
    }
    return {};
}

void FfmpegInput::Close() {
    avformat_close_input(&m_context);
}

int FfmpegInput::DvVideoStream() const {
    if (m_context == nullptr) {
        return -1;
    }
    for (unsigned i = 0; i < m_context->nb_streams; ++i) {
        const AVCodecParameters* codec = m_context->streams[i]->codecpar;
        if (codec->codec_type == AVMEDIA_TYPE_VIDEO && codec->codec_id == AV_CODEC_ID_DVVIDEO) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string FfmpegInput::ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

}  // namespace vornak::dv
