// Copies of one value in a frame, counted: the value most copies agree on wins, so that one
// damaged copy is out-voted. A tie has no winner.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace vornak::dv {

class DvVote {
  public:
    void Add(std::int64_t value, int copies = 1) {
        for (std::size_t i = 0; i < m_used; ++i) {
            if (m_values[i] == value) {
                m_counts[i] += copies;
                return;
            }
        }
        // Past this many different values the copies are too damaged for a few more to matter.
        if (m_used < kCandidates) {
            m_values[m_used] = value;
            m_counts[m_used++] = copies;
        }
    }

    std::optional<std::int64_t> Winner() const {
        std::optional<std::int64_t> best;
        int bestCount = 0;
        bool tie = false;
        for (std::size_t i = 0; i < m_used; ++i) {
            if (m_counts[i] > bestCount) {
                best = m_values[i];
                bestCount = m_counts[i];
                tie = false;
            } else if (m_counts[i] == bestCount) {
                tie = true;
            }
        }
        return tie ? std::nullopt : best;
    }

  private:
    static constexpr std::size_t kCandidates = 8;
    std::array<std::int64_t, kCandidates> m_values{};
    std::array<int, kCandidates> m_counts{};
    std::size_t m_used = 0;
};

}  // namespace vornak::dv
