// The health report of one run: what the health check found in each scene of each input, as a
// JSON document for programs and as one summary for people.
//
// The document (keys in this order; two spaces indent each level):
//   {
//     "vornak_health_report": 1,            the layout's version
//     "inputs": [
//       {
//         "path": "tape.m2t",               the input as it was named
//         "format": "HDV" | "DV" | null,    null when no scene was found
//         "complete": true,                 false: not read to its end (it failed, or the run
//                                           was stopped); "scenes" holds those finished before
//         "scenes": [
//           {
//             "number": 0,                  as the scene listing numbers them
//             "file": "tape-0000.m2t" | null,   null in a listing
//             "fragment": false,            the bytes before the first picture group
//             "first_date": "2006-05-01 14:03:59" | null,
//             "last_date": "2006-05-01 14:05:10" | null,
//             "pictures": 1775,             pictures (HDV) or frames (DV)
//             "first_timecode": "00:03:14:05" | null,   DV only
//             "rec_start": [0, 812],        DV: frames with the recording-start flag
//             "checked": true,              false: no health check ran, "clean" is null
//             "clean": true | false | null,
//             "findings": [
//               {
//                 "kind": "sta",            HealthKindName: packets_lost, broken_picture,
//                                           decode_error, no_date_pack, sequence_change, tc_nc,
//                                           sta, sta_concealed, aud, frames_missing, rdt_nc,
//                                           incomplete_frame
//                 "count": 310,             HealthKindUnit says what it counts
//                 "first": {"picture": 120, "timecode": "00:00:04:20" | null,
//                           "date": "2006-05-01 14:04:03" | null, "offset": 5734400 | null},
//                 "last": {...}             the same for the last picture of the stretch
//               }
//             ]
//           }
//         ]
//       }
//     ],
//     "summary": "3 scenes, 1 with damage: scene 1: 12 packets lost at picture 80"
//   }
// Strings are written as JsonString writes them (file names that are no UTF-8 included).
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "HealthReportInput.h"

namespace vornak {

class HealthReport {
  public:
    // A scene's findings named in the summary; the rest are counted ("and 4 more").
    static constexpr std::size_t kFindingsNamed = 3;
    // Damaged scenes named in an input's summary; the rest are counted.
    static constexpr std::size_t kScenesNamed = 10;

    static std::string Json(std::span<const HealthReportInput> inputs);

    // "3 scenes, all clean", "3 scenes, 2 with damage: scene 0: 12 packets lost at 00:03:14:05,
    // ...; scene 2: ..."; one line per input, each beginning with the input's path when there
    // are several. No final line break.
    static std::string Summary(std::span<const HealthReportInput> inputs);

    // Anything was found in any scene.
    static bool AnyDamage(std::span<const HealthReportInput> inputs);

    // Why a report cannot be written to `path` (it exists, or its folder does not), as a log
    // line; empty when it can. Asked before any input is read.
    static std::string PathProblem(const std::string& path);

    // Writes the document to `path`, which must not exist, whole or not at all (a file cut
    // short is removed). False, with `reason` a log line naming the file, when it could not.
    static bool Write(const std::string& path, std::span<const HealthReportInput> inputs,
                      std::string& reason);
};

}  // namespace vornak
