// What every FFmpeg user here needs to know.
#pragma once

#include <cstddef>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace vornak {

// libswscale's vector code may read and write a little past the last line of a picture; every
// buffer it touches gets this much room behind its end.
inline constexpr std::size_t kSwsSlack = 1024;

// FFmpeg reports damaged pictures and its own doubts on standard error; a thumbnail of a worn
// tape is no reason to fill a terminal or a log with them.
inline void SilenceFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace vornak
