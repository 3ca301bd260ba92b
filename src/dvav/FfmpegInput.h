// A container opened with libavformat, closed when it goes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace vornak::dv {

class FfmpegInput {
  public:
    FfmpegInput() = default;
    ~FfmpegInput();
    FfmpegInput(const FfmpegInput&) = delete;
    FfmpegInput& operator=(const FfmpegInput&) = delete;

    // Opens `path` as `format` (null: whatever libavformat takes it for) and reads its header.
    // Empty on success, else libavformat's reason.
    std::string Open(const std::string& path, const AVInputFormat* format);
    void Close();

    // Index of the first DV video stream, -1 when there is none.
    int DvVideoStream() const;

    AVFormatContext* Context() const { return m_context; }

    // The container (AVI or QuickTime) libavformat takes a file's first bytes for, judged on
    // the content alone; null when it takes them for neither.
    static const AVInputFormat* ContainerOf(std::span<const std::uint8_t> start);
    static bool IsAvi(const AVInputFormat* format);

    // libavformat's text for one of its error codes.
    static std::string ErrorText(int error);

  private:
    AVFormatContext* m_context = nullptr;
};

}  // namespace vornak::dv
