// Counts what goes into each scene: pictures, broken pictures, recording dates and what a health
// check finds.
//
// The job finds pictures and dates ahead of the point up to which it has decided where its
// bytes go, so each finding waits, with its stream position, until the bytes around it are
// settled: written into the open scene or given up. Positions only need to grow in the order
// the bytes go out; a finding that comes in after its bytes were settled goes where they went.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "RecordingDate.h"
#include "SceneHealth.h"
#include "SceneSummary.h"

namespace vornak {

// Something a health check found at one stream position; the scene, the picture within it and
// the recording date are given when its bytes are settled.
struct HealthEvent {
    HealthKind kind = HealthKind::PacketsLost;
    std::uint64_t count = 0;
    std::optional<dv::DvTimecode> timecode;
    std::int64_t offset = -1;  // in the input, or -1 when not known
};

class SceneTally {
  public:
    void Reset();

    // A scene file was opened (or, in a listing, would have been).
    void Begin(std::int32_t number, std::string path, bool fragment = false);
    bool Open() const { return m_bOpen; }
    // The open scene, finished; the tally then has no open scene.
    SceneSummary End();

    void AddPicture(std::uint64_t pos) { Add({pos, Kind::Picture, {}}); }
    void AddBroken(std::uint64_t pos) { Add({pos, Kind::Broken, {}}); }
    void AddDate(std::uint64_t pos, const RecordingDate& date) { Add({pos, Kind::Date, date}); }
    // The scenes are checked: every scene this tally gives out says so, found damage or not.
    void SetHealthChecked(bool checked) { m_bHealthChecked = checked; }
    void AddHealth(std::uint64_t pos, const HealthEvent& event) {
        Add({pos, Kind::Health, {}, event});
    }

    // `size` bytes went into the open scene; `pos` is where they began in the input, or -1
    // when they were not one piece of it.
    void AddBytes(std::int64_t pos, std::uint64_t size);
    // Everything before `end` has been settled: into the open scene when `written`, else lost.
    void Settle(std::uint64_t end, bool written);

  private:
    enum class Kind { Picture, Broken, Date, Health };
    struct Finding {
        std::uint64_t pos;
        Kind kind;
        RecordingDate date;
        HealthEvent health = {};
    };
    void Add(const Finding& finding);
    void Apply(const Finding& finding);
    // The open scene's picture (from 0) that began last at or before `pos`.
    std::uint64_t PictureAt(std::uint64_t pos) const;

    std::deque<Finding> m_pending;  // in position order
    std::uint64_t m_settledEnd = 0;
    bool m_bLastWritten = false;
    bool m_bOpen = false;
    bool m_bHealthChecked = false;
    SceneSummary m_scene;
    // Where the open scene's latest pictures began, oldest first: a finding whose bytes were
    // settled before it came in still gets its own picture.
    static constexpr std::size_t kRecentPictures = 64;
    std::deque<std::uint64_t> m_recentPictures;
};

}  // namespace vornak
