// Owning pointers for libavcodec's objects, each freed by the call FFmpeg gives for it:
// FfmpegPtr<AVCodecContext>, FfmpegPtr<AVCodecParserContext>, FfmpegPtr<AVPacket>,
// FfmpegPtr<AVFrame>. Needs nothing but FFmpeg.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vornak {

template <class T>
struct FfmpegDeleter;

template <>
struct FfmpegDeleter<AVCodecContext> {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
template <>
struct FfmpegDeleter<AVCodecParserContext> {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
};
template <>
struct FfmpegDeleter<AVPacket> {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
template <>
struct FfmpegDeleter<AVFrame> {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

template <class T>
using FfmpegPtr = std::unique_ptr<T, FfmpegDeleter<T>>;

}  // namespace vornak
