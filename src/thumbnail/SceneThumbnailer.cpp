#include "SceneThumbnailer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "DemuxStatistics.h"
#include "FfmpegLog.h"
#include "FfmpegPointers.h"
#include "PesAssembler.h"
#include "Pids.h"
#include "ThumbnailScaler.h"
#include "TransportPacket.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vornak {

namespace {

// Reads of a thousand packets: an HDV I-picture and what precedes it come in one or two.
constexpr std::size_t kReadBytes = TransportPacket::kSize * 1024;
// The decoding runs on the caller's thread; FFmpeg's own threads would only compete with the
// listing running beside it.
constexpr int kDecoderThreads = 1;
// Decoding at 1/2, 1/4 or 1/8 of the size: the most libavcodec's MPEG-2 decoder offers.
constexpr int kMaxLowres = 3;

struct ParserDeleter {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
};
// Opened without blocking: a FIFO in a scene's place must not hold the thread up.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~ReadOnlyFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    int Fd() const { return m_fd; }

  private:
    int m_fd;
};

// The nearest even number, at least 2.
int EvenSide(double exact) {
    return std::max(2, 2 * static_cast<int>(std::lround(exact / 2.0)));
}

}  // namespace

// Feeds a scene's video to libavcodec's parser until its first clean I-picture has been
// decoded. The decoder and the scaler stay open from scene to scene.
class SceneThumbnailer::Decoder {
  public:
    bool Open() {
        m_codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
        if (m_codec == nullptr) {
            return false;
        }
        m_parser.reset(av_parser_init(AV_CODEC_ID_MPEG2VIDEO));
        m_parserContext.reset(avcodec_alloc_context3(m_codec));
        m_packet.reset(av_packet_alloc());
        m_frame.reset(av_frame_alloc());
        return m_parser && m_parserContext && m_packet && m_frame;
    }

    // A new scene: nothing of the last one is held.
    void Begin() {
        m_parser.reset(av_parser_init(AV_CODEC_ID_MPEG2VIDEO));
        m_image = RgbImage{};
        m_bDone = !m_parser;
        m_bNoDecoder = !m_parser;
    }

    bool Done() const { return m_bDone; }
    bool NoDecoder() const { return m_bNoDecoder; }
    RgbImage& Image() { return m_image; }

    // Elementary-stream bytes; nullptr and 0 at the end of the scene's bytes.
    void Feed(const std::uint8_t* data, std::size_t size) {
        const bool end = data == nullptr;
        m_padded.assign(data, data + size);
        m_padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        const std::uint8_t* next = m_padded.data();
        std::size_t left = size;
        while (!m_bDone && (left > 0 || end)) {
            std::uint8_t* picture = nullptr;
            int pictureSize = 0;
            const int chunk = static_cast<int>(std::min<std::size_t>(left, INT_MAX));
            const int used =
                av_parser_parse2(m_parser.get(), m_parserContext.get(), &picture, &pictureSize,
                                 end ? nullptr : next, chunk, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0) {
                return;
            }
            next += used;
            left -= static_cast<std::size_t>(used);
            if (pictureSize > 0 && m_parser->pict_type == AV_PICTURE_TYPE_I) {
                Decode(picture, pictureSize);
            }
            if (end || (used == 0 && pictureSize == 0)) {
                return;
            }
        }
    }

  private:
    // An I-picture needs no other picture, so only I-pictures are decoded; the parser hands
    // each out with the sequence header before it. The decoder opens at the first one, at the
    // coarsest resolution that still gives the thumbnail's width: a quarter of HDV's size takes
    // a fraction of the time of a full decode. A picture with any error is refused whole (the
    // next group's picture is a better likeness than a concealed one). After each the decoder
    // is drained, so that it hands the picture out without waiting for the next one.
    void Decode(const std::uint8_t* data, int size) {
        if (!m_context && !OpenDecoder(m_parserContext->width)) {
            m_bDone = true;  // nothing will ever decode: stop reading
            m_bNoDecoder = true;
            return;
        }
        AVPacket* packet = m_packet.get();
        av_packet_unref(packet);
        packet->data = const_cast<std::uint8_t*>(data);  // copied by the decoder
        packet->size = size;
        const int sent = avcodec_send_packet(m_context.get(), packet);
        packet->data = nullptr;
        packet->size = 0;
        if (sent == 0) {
            avcodec_send_packet(m_context.get(), nullptr);
            ReceiveFrames();
        }
        avcodec_flush_buffers(m_context.get());
    }

    bool OpenDecoder(int width) {
        int lowres = 0;
        while (lowres < std::min<int>(kMaxLowres, m_codec->max_lowres) &&
               (width >> (lowres + 1)) >= SceneThumbnailer::kWidth) {
            ++lowres;
        }
        m_context.reset(avcodec_alloc_context3(m_codec));
        if (!m_context) {
            return false;
        }
        m_context->thread_count = kDecoderThreads;
        m_context->lowres = lowres;
        m_context->err_recognition |= AV_EF_EXPLODE;
        if (avcodec_open2(m_context.get(), m_codec, nullptr) != 0) {
            m_context.reset();
            return false;
        }
        return true;
    }

    void ReceiveFrames() {
        AVFrame* frame = m_frame.get();
        while (avcodec_receive_frame(m_context.get(), frame) == 0) {
            // A concealed or damaged picture would stand for the scene with its blocks; the next
            // picture group's picture is a better likeness.
            const bool clean =
                frame->decode_error_flags == 0 && (frame->flags & AV_FRAME_FLAG_CORRUPT) == 0;
            if (!m_bDone && clean && frame->pict_type == AV_PICTURE_TYPE_I && Scale(*frame)) {
                m_bDone = true;
            }
            av_frame_unref(frame);
        }
    }

    // The picture at its display aspect, from its sample aspect.
    bool Scale(const AVFrame& frame) {
        const auto [width, height] = SceneThumbnailer::ThumbnailSize(frame.width, frame.height,
                                                                     frame.sample_aspect_ratio.num,
                                                                     frame.sample_aspect_ratio.den);
        return m_scaler.Scale(frame, width, height, m_image);
    }

    const AVCodec* m_codec = nullptr;
    CodecContextPtr m_context;  // opened at the first I-picture
    std::unique_ptr<AVCodecParserContext, ParserDeleter> m_parser;
    CodecContextPtr m_parserContext;  // the parser's notes
    PacketPtr m_packet;
    FramePtr m_frame;
    // The parser may read past the end of what it is given: it gets a zero-padded copy.
    std::vector<std::uint8_t> m_padded;
    ThumbnailScaler m_scaler;
    RgbImage m_image;
    bool m_bDone = false;
    bool m_bNoDecoder = false;
};

SceneThumbnailer::SceneThumbnailer() = default;
SceneThumbnailer::~SceneThumbnailer() = default;

SceneThumbnailer::Status SceneThumbnailer::Make(const std::string& path, std::uint64_t offset,
                                                std::uint64_t length, RgbImage& image) {
    image = RgbImage{};
    SilenceFfmpegLog();
    const ReadOnlyFile file(path);
    const int fd = file.Fd();
    if (fd < 0) {
        return Status::CannotOpen;
    }
    if (!m_decoder) {
        m_decoder = std::make_unique<Decoder>();
        if (!m_decoder->Open()) {
            m_decoder.reset();
            return Status::NoDecoder;
        }
    }
    Decoder& decoder = *m_decoder;
    decoder.Begin();
    DemuxStatistics statistics;
    PesAssembler video(statistics);
    const PesAssembler::PayloadSink toDecoder = [&decoder](const PesPayload& payload) {
        if (!decoder.Done()) {
            decoder.Feed(payload.data.data(), payload.data.size());
        }
    };

    const std::uint64_t end = offset + std::min(length, kMaxScanBytes);
    std::vector<std::uint8_t> buffer(kReadBytes + TransportPacket::kSize);
    std::size_t held = 0;  // bytes of a packet cut by the last read
    std::uint64_t pos = offset;
    while (pos < end && !decoder.Done()) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kReadBytes, end - pos));
        const ssize_t got = ::pread(fd, buffer.data() + held, want, static_cast<off_t>(pos));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::CannotRead;
        }
        if (got == 0) {
            break;
        }
        pos += static_cast<std::uint64_t>(got);
        const std::size_t size = held + static_cast<std::size_t>(got);
        std::size_t at = 0;
        while (at + TransportPacket::kSize <= size && !decoder.Done()) {
            if (buffer[at] != TransportPacket::kSyncByte) {
                ++at;  // out of step: look for the next packet
                continue;
            }
            const auto packet = TransportPacket::Parse(
                std::span<const std::uint8_t>(buffer.data() + at, TransportPacket::kSize));
            if (packet && packet->pid() == PID_VIDEO) {
                video.Push(*packet, toDecoder);
            }
            at += TransportPacket::kSize;
        }
        held = size - std::min(at, size);
        std::memmove(buffer.data(), buffer.data() + (size - held), held);
    }
    if (!decoder.Done()) {
        video.Finish(toDecoder);
    }
    if (!decoder.Done()) {
        decoder.Feed(nullptr, 0);
    }
    if (decoder.NoDecoder()) {
        return Status::NoDecoder;
    }
    if (!decoder.Done()) {
        return Status::NoPicture;
    }
    image = std::move(decoder.Image());
    return Status::Made;
}

SceneThumbnailer::Size SceneThumbnailer::ThumbnailSize(int width, int height, int aspectNum,
                                                       int aspectDen) {
    if (aspectNum <= 0 || aspectDen <= 0) {
        aspectNum = 1;
        aspectDen = 1;
    }
    const double displayWidth =
        std::max(1.0, static_cast<double>(width) * aspectNum / static_cast<double>(aspectDen));
    const double displayHeight = std::max(1.0, static_cast<double>(height));
    // A picture far taller than wide would otherwise give a thumbnail tens of thousands of
    // pixels high, which neither the JPEG encoder nor the contact sheet can take.
    const double scale = std::min(kWidth / displayWidth, kMaxHeight / displayHeight);
    return Size{EvenSide(displayWidth * scale), EvenSide(displayHeight * scale)};
}

const char* SceneThumbnailer::Reason(Status status) {
    switch (status) {
        case Status::Made:
            return "it has one";
        case Status::CannotOpen:
            return "the file cannot be opened";
        case Status::CannotRead:
            return "the file cannot be read";
        case Status::NoPicture:
            return "its pictures cannot be decoded";
        case Status::NoDecoder:
            return "FFmpeg's MPEG-2 video decoder is missing";
        case Status::NoDvDecoder:
            return "FFmpeg's DV video decoder is missing";
    }
    return "";
}

}  // namespace vornak
