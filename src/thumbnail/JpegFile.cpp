#include "JpegFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "FfmpegLog.h"
#include "FfmpegPointers.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace vornak {

namespace {

// JPEG quality by quantiser scale: 2 is close to the best, and a 320 x 180 thumbnail stays
// near 15 kB.
constexpr int kQuantiser = 3;

struct SwsDeleter {
    void operator()(SwsContext* sws) const { sws_freeContext(sws); }
};

// The JPEG file's bytes; empty when encoding failed.
PacketPtr Encode(const std::uint8_t* pixels, int width, int height, int stride,
                 AVPixelFormat format) {
    SilenceFfmpegLog();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (codec == nullptr || pixels == nullptr || width <= 0 || height <= 0 || stride <= 0) {
        return nullptr;
    }
    CodecContextPtr context(avcodec_alloc_context3(codec));
    FramePtr frame(av_frame_alloc());
    PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        return nullptr;
    }
    // Full-range YUV is what JPEG files hold.
    context->pix_fmt = AV_PIX_FMT_YUVJ420P;
    context->width = width;
    context->height = height;
    context->time_base = AVRational{1, 25};
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * kQuantiser;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    frame->format = context->pix_fmt;
    frame->width = width;
    frame->height = height;
    frame->quality = context->global_quality;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        return nullptr;
    }
    std::unique_ptr<SwsContext, SwsDeleter> sws(sws_getContext(width, height, format, width, height,
                                                               context->pix_fmt, SWS_BICUBIC,
                                                               nullptr, nullptr, nullptr));
    if (!sws) {
        return nullptr;
    }
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> padded(bytes + kSwsSlack);
    std::memcpy(padded.data(), pixels, bytes);
    const std::uint8_t* source[4] = {padded.data(), nullptr, nullptr, nullptr};
    const int sourceStride[4] = {stride, 0, 0, 0};
    if (sws_scale(sws.get(), source, sourceStride, 0, height, frame->data, frame->linesize) !=
        height) {
        return nullptr;
    }
    if (avcodec_send_frame(context.get(), frame.get()) < 0 ||
        avcodec_send_frame(context.get(), nullptr) < 0 ||
        avcodec_receive_packet(context.get(), packet.get()) < 0) {
        return nullptr;
    }
    return packet;
}

// 0, or the errno of the write that failed.
int WriteAllBytes(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written < 0 ? errno : ENOSPC;  // a write of nothing: no room left
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

}  // namespace

JpegFile::Result JpegFile::Write(const std::string& path, const RgbImage& image, int* error) {
    return Write(path, image.pixels.data(), image.width, image.height, image.Stride(),
                 Layout::Rgb24, error);
}

JpegFile::Result JpegFile::Write(const std::string& path, const std::uint8_t* pixels, int width,
                                 int height, int stride, Layout layout, int* error) {
    int ignored = 0;
    int& reason = error != nullptr ? *error : ignored;
    reason = 0;
    const auto jpeg = Encode(pixels, width, height, stride,
                             layout == Layout::Rgb24 ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_0RGB32);
    if (!jpeg) {
        return Result::Failed;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        reason = errno;
        return reason == EEXIST ? Result::AlreadyExists : Result::Failed;
    }
    reason = WriteAllBytes(fd, jpeg->data, static_cast<std::size_t>(jpeg->size));
    if (::close(fd) != 0 && reason == 0) {
        reason = errno;
    }
    if (reason != 0) {
        ::unlink(path.c_str());  // a cut-off picture is no use to anyone
        return Result::Failed;
    }
    return Result::Written;
}

std::string JpegFile::FailureReason(int error) {
    return error != 0 ? std::strerror(error) : "the picture can't be encoded";
}

}  // namespace vornak
