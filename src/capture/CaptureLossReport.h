// What a capture run has lost and where: the run's total of dropped packets and frames, and the
// places (a tape timecode, or the time into the run) at which each increase was noticed, for
// the line that sums the run up as it ends.
//
// Not thread-safe: the capture session guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornak {

class CaptureLossReport {
  public:
    // Places named in the summary; any more are only counted.
    static constexpr std::size_t kPlacesShown = 5;

    // A new run: nothing lost yet.
    void Reset();
    // The run's total as counted now, noticed at `where`. True when it has grown since the last
    // note; the growth is put down to `where` (to the last place again when that is the same).
    bool Note(std::uint64_t total, const std::string& where);
    std::uint64_t Total() const { return m_nTotal; }
    // The warning that sums the losses up; empty when nothing was lost.
    std::string Summary() const;

  private:
    struct Place {
        std::string where;
        std::uint64_t count = 0;
    };

    std::uint64_t m_nTotal = 0;
    std::vector<Place> m_places;  // the first kPlacesShown, in the order noticed
    std::size_t m_nMorePlaces = 0;
    std::string m_lastWhere;
};

}  // namespace vornak
