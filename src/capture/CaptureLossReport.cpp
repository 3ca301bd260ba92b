#include "CaptureLossReport.h"

namespace vornak {
namespace {

constexpr char kSummaryStart[] = "WARNING: ";
constexpr char kSummaryCount[] = " packets\\frames have been lost during capturing, noticed at ";

}  // namespace

void CaptureLossReport::Reset() {
    m_nTotal = 0;
    m_places.clear();
    m_nMorePlaces = 0;
    m_lastWhere.clear();
}

bool CaptureLossReport::Note(std::uint64_t total, const std::string& where) {
    if (total <= m_nTotal) {
        return false;
    }
    const std::uint64_t growth = total - m_nTotal;
    m_nTotal = total;
    if (!m_places.empty() && where == m_lastWhere) {
        // Noticed again where the tape stands still: the same place.
        if (m_nMorePlaces == 0) {
            m_places.back().count += growth;
        }
        return true;
    }
    m_lastWhere = where;
    if (m_places.size() < kPlacesShown) {
        m_places.push_back({where, growth});
    } else {
        ++m_nMorePlaces;
    }
    return true;
}

std::string CaptureLossReport::Summary() const {
    if (m_nTotal == 0) {
        return {};
    }
    std::string text = kSummaryStart + std::to_string(m_nTotal) + kSummaryCount;
    for (std::size_t i = 0; i < m_places.size(); ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += m_places[i].where + " (" + std::to_string(m_places[i].count) + ")";
    }
    if (m_nMorePlaces > 0) {
        text += " and " + std::to_string(m_nMorePlaces) +
                (m_nMorePlaces == 1 ? " more place" : " more places");
    }
    return text + ".";
}

}  // namespace vornak
