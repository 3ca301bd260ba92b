#include "FfmpegInput.h"

namespace vornak::dv {

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
