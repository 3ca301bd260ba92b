#include "ToneTape.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "DatePackInserter.h"
#include "FfmpegLog.h"
#include "TestSupport.h"
#include "TsPacket.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vornak::test {

namespace {

constexpr int kHoursBetweenClips = 1;

std::string ClipCommand(const ToneClip& clip, const std::string& path) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "-t %.3f -output_ts_offset %.6f", clip.seconds,
                  clip.clockOffsetSeconds);
    // As a camcorder records: closed groups of 12, two B pictures, 384 kbit/s sound; each
    // clip's sound trails its pictures in the stream, as ffmpeg's muxer places it.
    return "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "
           "testsrc=size=1440x1080:rate=25 -f lavfi -i sine=frequency=" +
           std::to_string(clip.hertz) + ":sample_rate=48000 " + numbers +
           " -c:v mpeg2video -b:v 8M -g 12 -bf 2 -flags +cgop -sc_threshold 1000000000"
           " -c:a mp2 -b:a 384k -ac 2 -mpegts_pmt_start_pid 0x100 -streamid 0:0x810"
           " -streamid 1:0x814 -f mpegts '" +
           path + "'";
}

// The elementary-stream bytes of PID 0x814, from its first PES packet on.
std::vector<std::uint8_t> AudioBytes(const std::vector<std::uint8_t>& stream) {
    std::vector<std::uint8_t> out;
    bool started = false;
    for (std::size_t at = 0; at + PKT_SIZE <= stream.size(); at += PKT_SIZE) {
        const std::uint8_t* p = stream.data() + at;
        if (p[0] != SYNC_BYTE || pid(p) != PID_AUDIO) {
            continue;
        }
        std::size_t offset = TS_HEADER_SIZE;
        if (has_adaptation_field(p)) {
            offset += 1 + p[ADAPTATION_LENGTH_OFFSET];
        }
        if (payload_unit_start_indicator(p)) {
            if (offset + PES_FIXED_HEADER_SIZE > PKT_SIZE) {
                continue;
            }
            offset += PES_FIXED_HEADER_SIZE + p[offset + PES_HEADER_LENGTH_OFFSET];
            started = true;
        }
        if (started && offset < PKT_SIZE) {
            out.insert(out.end(), p + offset, p + PKT_SIZE);
        }
    }
    return out;
}

void TakeFrame(const AVFrame* frame, Sound& sound) {
    sound.rate = frame->sample_rate;
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int step = av_sample_fmt_is_planar(format) ? 1 : frame->ch_layout.nb_channels;
    const std::uint8_t* data = frame->extended_data[0];
    for (int i = 0; i < frame->nb_samples; ++i) {
        const int at = i * step;
        switch (av_get_packed_sample_fmt(format)) {
            case AV_SAMPLE_FMT_S16:
                sound.samples.push_back(reinterpret_cast<const std::int16_t*>(data)[at] / 32768.0f);
                break;
            case AV_SAMPLE_FMT_FLT:
                sound.samples.push_back(reinterpret_cast<const float*>(data)[at]);
                break;
            default:
                return;
        }
    }
}

}  // namespace

ToneTape MakeToneTape(const std::string& scratchDir, const std::vector<ToneClip>& clips) {
    ToneTape tape;
    tape::DateTime date{2006, 5, 1, 10, 0, 0};
    for (std::size_t i = 0; i < clips.size(); ++i) {
        const std::string clip = scratchDir + "/tone" + std::to_string(i) + ".ts";
        const std::string command = ClipCommand(clips[i], clip);
        if (std::system(command.c_str()) != 0) {
            tape.error = "ffmpeg failed: " + command;
            return tape;
        }
        tape::DatePackInserter inserter({date});
        date = tape::AddSeconds(date, std::int64_t{kHoursBetweenClips} * 3600);
        const std::vector<std::uint8_t> data = ReadAll(clip);
        std::remove(clip.c_str());
        tape.clipStarts.push_back(tape.bytes.size());
        if (!inserter.Feed(data.data(), data.size(), tape.bytes) || !inserter.Finish(tape.bytes)) {
            tape.error = "cannot date " + clip + ": " + inserter.Error();
            return tape;
        }
    }
    return tape;
}

Sound DecodeSound(const std::vector<std::uint8_t>& stream) {
    SilenceFfmpegLog();
    Sound sound;
    std::vector<std::uint8_t> bytes = AudioBytes(stream);
    const std::size_t size = bytes.size();
    bytes.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MP2);
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_MP2);
    AVCodecContext* context = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (parser != nullptr && context != nullptr && avcodec_open2(context, codec, nullptr) == 0) {
        const auto drain = [&] {
            while (avcodec_receive_frame(context, frame) == 0) {
                TakeFrame(frame, sound);
            }
        };
        std::size_t at = 0;
        // One pass more than the bytes, with no input, lets the parser give up its last frame.
        for (bool flushed = false; !flushed;) {
            const int left = static_cast<int>(size - at);
            flushed = left == 0;
            std::uint8_t* out = nullptr;
            int outSize = 0;
            const int used = av_parser_parse2(parser, context, &out, &outSize, bytes.data() + at,
                                              left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0) {
                break;
            }
            at += static_cast<std::size_t>(used);
            if (outSize > 0) {
                packet->data = out;
                packet->size = outSize;
                if (avcodec_send_packet(context, packet) == 0) {
                    drain();
                }
                flushed = false;
            }
        }
        avcodec_send_packet(context, nullptr);
        drain();
    }
    packet->data = nullptr;
    packet->size = 0;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    av_parser_close(parser);
    return sound;
}

double ToneLevel(const Sound& sound, std::size_t first, std::size_t count, double hertz) {
    if (sound.rate <= 0 || count == 0 || first + count > sound.samples.size()) {
        return 0.0;
    }
    const double step = 2.0 * std::numbers::pi * hertz / sound.rate;
    double re = 0.0;
    double im = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double x = sound.samples[first + i];
        re += x * std::cos(step * static_cast<double>(i));
        im -= x * std::sin(step * static_cast<double>(i));
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(count);
}

}  // namespace vornak::test
