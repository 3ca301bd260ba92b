#include "ToneAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace vornak::test {
namespace {

// Far below the tapes' tones (an eighth of full scale) and far above what the decoder leaves
// in silence.
constexpr int kSilence = 200;
// Frequencies are read over windows this long; neighbours within kSameToneHz are one tone.
constexpr int kWindowsPerSecond = 10;
constexpr double kSameToneHz = 8;

int Left(const std::vector<std::int16_t>& stereo, std::size_t frame) {
    return stereo[2 * frame];
}

// The frequency over [from, to) from its upward zero crossings, each placed between its two
// samples, so that a window's count is not off by the fraction of a period at each end.
std::optional<double> Frequency(const std::vector<std::int16_t>& stereo, int rate, std::size_t from,
                                std::size_t to) {
    std::optional<double> first;
    double last = 0;
    int periods = -1;
    for (std::size_t i = from + 1; i < to; ++i) {
        const int before = Left(stereo, i - 1);
        const int now = Left(stereo, i);
        if (before < 0 && now >= 0) {
            const double at =
                static_cast<double>(i - 1) + static_cast<double>(-before) / (now - before);
            if (!first) {
                first = at;
            }
            last = at;
            ++periods;
        }
    }
    if (periods < 1) {
        return std::nullopt;
    }
    return periods * static_cast<double>(rate) / (last - *first);
}

}  // namespace

HeardSound AnalyseTones(const std::vector<std::int16_t>& stereo, int rate,
                        std::size_t minToneFrames) {
    HeardSound heard;
    const std::size_t frames = stereo.size() / 2;
    std::size_t gap = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::abs(Left(stereo, i)) <= kSilence) {
            ++gap;
            continue;
        }
        if (!heard.any) {
            heard.any = true;
            heard.firstFrame = i;
        } else if (gap > heard.longestGap) {
            heard.longestGap = gap;
        }
        gap = 0;
        heard.lastFrame = i;
    }
    if (!heard.any) {
        return heard;
    }
    // Windows of one frequency make a stretch; a window across a change of tone reads neither.
    const std::size_t window = static_cast<std::size_t>(rate / kWindowsPerSecond);
    // A stretch's frequency is its windows' median: a window with a gap in it reads low and
    // must not pull the tone with it.
    std::size_t runStart = heard.firstFrame;
    std::optional<double> runHz;
    std::vector<double> readings;
    auto close = [&](std::size_t end) {
        if (runHz && end - runStart >= minToneFrames) {
            std::sort(readings.begin(), readings.end());
            heard.tones.push_back({readings[readings.size() / 2], runStart, end - runStart});
        }
        readings.clear();
    };
    for (std::size_t at = heard.firstFrame; at + window <= heard.lastFrame + 1; at += window) {
        const std::optional<double> hz = Frequency(stereo, rate, at, at + window);
        if (!(hz && runHz && std::fabs(*hz - *runHz) <= kSameToneHz)) {
            close(at);
            runStart = at;
            runHz = hz;
        }
        if (hz) {
            readings.push_back(*hz);
        }
    }
    close(heard.lastFrame + 1);
    return heard;
}

}  // namespace vornak::test
