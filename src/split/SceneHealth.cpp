#include "SceneHealth.h"

#include <cstdio>

namespace vornak {

namespace {

struct KindText {
    const char* name;
    const char* unit;  // for a count other than one
    const char* one;   // for a count of one
};

KindText TextOf(HealthKind kind) {
    switch (kind) {
        case HealthKind::PacketsLost:
            return {"packets_lost", "packets lost", "packet lost"};
        case HealthKind::BrokenPicture:
            return {"broken_picture", "broken pictures", "broken picture"};
        case HealthKind::DecodeError:
            return {"decode_error", "pictures that do not decode", "picture that does not decode"};
        case HealthKind::NoDatePack:
            return {"no_date_pack", "picture groups without a date",
                    "picture group without a date"};
        case HealthKind::SequenceChange:
            return {"sequence_change", "sequence header changes", "sequence header change"};
        case HealthKind::TimecodeJump:
            return {"tc_nc", "timecode jumps", "timecode jump"};
        case HealthKind::VideoError:
            return {"sta", "video blocks in error", "video block in error"};
        case HealthKind::VideoConcealed:
            return {"sta_concealed", "video blocks concealed", "video block concealed"};
        case HealthKind::AudioError:
            return {"aud", "audio error samples", "audio error sample"};
        case HealthKind::FramesMissing:
            return {"frames_missing", "frames missing", "frame missing"};
        case HealthKind::DateJump:
            return {"rdt_nc", "recording date jumps", "recording date jump"};
        case HealthKind::IncompleteFrame:
            return {"incomplete_frame", "incomplete frames", "incomplete frame"};
    }
    return {"unknown", "findings", "finding"};
}

std::string PlaceText(const HealthPlace& place) {
    if (place.timecode) {
        return TimecodeText(*place.timecode);
    }
    return "picture " + std::to_string(place.picture);
}

}  // namespace

const char* HealthKindName(HealthKind kind) {
    return TextOf(kind).name;
}

const char* HealthKindUnit(HealthKind kind) {
    return TextOf(kind).unit;
}

void AddFinding(std::vector<HealthFinding>& findings, HealthKind kind, std::uint64_t count,
                const HealthPlace& place) {
    for (auto it = findings.rbegin(); it != findings.rend(); ++it) {
        if (it->kind != kind) {
            continue;
        }
        if (place.picture >= it->last.picture && place.picture <= it->last.picture + 1) {
            it->count += count;
            it->last = place;
            return;
        }
        break;
    }
    findings.push_back({kind, count, place, place});
}

std::string TimecodeText(const dv::DvTimecode& timecode) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", timecode.hours, timecode.minutes,
                  timecode.seconds, timecode.dropFrame ? ';' : ':', timecode.frames);
    return text;
}

std::string DescribeFinding(const HealthFinding& finding) {
    const KindText kind = TextOf(finding.kind);
    std::string text =
        std::to_string(finding.count) + " " + (finding.count == 1 ? kind.one : kind.unit);
    const std::string first = PlaceText(finding.first);
    const std::string last = PlaceText(finding.last);
    if (finding.first.picture == finding.last.picture || first == last) {
        return text + " at " + first;
    }
    return text + " from " + first + " to " + last;
}

}  // namespace vornak
