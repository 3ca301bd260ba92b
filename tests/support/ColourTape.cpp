#include "ColourTape.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "DatePackInserter.h"
#include "FfmpegLog.h"
#include "TestSupport.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

namespace vornak::test {

namespace {

std::string Hex(const Colour& c) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X%02X%02X", c.red, c.green, c.blue);
    return text;
}

}  // namespace

bool FfmpegAvailable() {
    return std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
}

std::string WriteColourTape(const std::string& path, const std::vector<ColourScene>& scenes) {
    std::vector<std::uint8_t> tape;
    int hour = 10;
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        const ColourScene& scene = scenes[i];
        const std::string clip = path + ".clip" + std::to_string(i) + ".ts";
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i color=c=" +
            Hex(scene.colour) + ":size=" + scene.size + ":rate=25 -t " +
            std::to_string(scene.seconds) + " -aspect " + scene.aspect +
            " -c:v mpeg2video -b:v 8M -g 12 -bf 2 -mpegts_pmt_start_pid 0x100"
            " -streamid 0:0x810 -f mpegts '" +
            clip + "'";
        if (std::system(command.c_str()) != 0) {
            return "ffmpeg failed: " + command;
        }
        tape::DatePackInserter inserter({tape::DateTime{2007, 6, 15, hour++, 0, 0}});
        const std::vector<std::uint8_t> data = ReadAll(clip);
        std::remove(clip.c_str());
        if (!inserter.Feed(data.data(), data.size(), tape) || !inserter.Finish(tape)) {
            return "cannot date " + clip + ": " + inserter.Error();
        }
    }
    WriteAll(path, tape);
    return {};
}

Colour CentreColour(const RgbImage& image) {
    if (image.Empty()) {
        return {-1, -1, -1};
    }
    const std::size_t at =
        static_cast<std::size_t>(image.height / 2) * static_cast<std::size_t>(image.Stride()) +
        static_cast<std::size_t>(image.width / 2) * RgbImage::kBytesPerPixel;
    return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
}

bool Near(const Colour& a, const Colour& b, int tolerance) {
    return std::abs(a.red - b.red) <= tolerance && std::abs(a.green - b.green) <= tolerance &&
           std::abs(a.blue - b.blue) <= tolerance;
}

std::string Text(const Colour& c) {
    return "(" + std::to_string(c.red) + ", " + std::to_string(c.green) + ", " +
           std::to_string(c.blue) + ")";
}

RgbImage ReadJpeg(const std::string& path) {
    SilenceFfmpegLog();
    RgbImage image;
    const std::vector<std::uint8_t> data = ReadAll(path);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    if (data.empty() || codec == nullptr) {
        return image;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<std::uint8_t> padded(data);
    padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    packet->data = padded.data();
    packet->size = static_cast<int>(data.size());
    if (avcodec_open2(context, codec, nullptr) == 0 && avcodec_send_packet(context, packet) == 0 &&
        avcodec_receive_frame(context, frame) == 0) {
        SwsContext* sws = sws_getContext(
            frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
            frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
        image.width = frame->width;
        image.height = frame->height;
        const std::size_t bytes =
            static_cast<std::size_t>(image.Stride()) * static_cast<std::size_t>(image.height);
        image.pixels.resize(bytes + kSwsSlack);
        std::uint8_t* target[4] = {image.pixels.data(), nullptr, nullptr, nullptr};
        const int stride[4] = {image.Stride(), 0, 0, 0};
        if (sws == nullptr || sws_scale(sws, frame->data, frame->linesize, 0, frame->height, target,
                                        stride) != frame->height) {
            image = RgbImage{};
        }
        image.pixels.resize(image.Empty() ? 0 : bytes);
        sws_freeContext(sws);
    }
    packet->data = nullptr;
    packet->size = 0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return image;
}

}  // namespace vornak::test
