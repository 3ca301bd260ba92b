#include "SceneTally.h"

#include <utility>

namespace vornak {

void SceneTally::Reset() {
    m_pending.clear();
    m_settledEnd = 0;
    m_bLastWritten = false;
    m_bOpen = false;
    m_scene = SceneSummary{};
}

void SceneTally::Begin(std::int32_t number, std::string path, bool fragment) {
    m_scene = SceneSummary{};
    m_scene.number = number;
    m_scene.path = std::move(path);
    m_scene.fragment = fragment;
    m_scene.healthChecked = m_bHealthChecked;
    m_recentPictures.clear();
    m_bOpen = true;
}

SceneSummary SceneTally::End() {
    m_bOpen = false;
    return std::move(m_scene);
}

void SceneTally::Add(const Finding& finding) {
    if (finding.pos < m_settledEnd) {
        // Its bytes have gone already (a full buffer was flushed before the packet was read,
        // or a broken picture is only known at the next one).
        if (m_bLastWritten) {
            Apply(finding);
        }
        return;
    }
    // Nearly always the newest; a broken picture is filed at its own start, a little back.
    auto at = m_pending.end();
    while (at != m_pending.begin() && std::prev(at)->pos > finding.pos) {
        --at;
    }
    m_pending.insert(at, finding);
}

void SceneTally::Apply(const Finding& finding) {
    if (!m_bOpen) {
        return;
    }
    switch (finding.kind) {
        case Kind::Picture:
            ++m_scene.pictures;
            m_recentPictures.push_back(finding.pos);
            if (m_recentPictures.size() > kRecentPictures) {
                m_recentPictures.pop_front();
            }
            break;
        case Kind::Broken:
            ++m_scene.brokenPictures;
            break;
        case Kind::Date:
            if (!m_scene.firstDate) {
                m_scene.firstDate = finding.date;
            }
            m_scene.lastDate = finding.date;
            break;
        case Kind::Health: {
            // Found in the picture counted last, or before the scene's first picture.
            HealthPlace place;
            place.picture = PictureAt(finding.pos);
            place.timecode = finding.health.timecode;
            place.date = m_scene.lastDate;
            place.offset = finding.health.offset;
            AddFinding(m_scene.findings, finding.health.kind, finding.health.count, place);
            break;
        }
    }
}

std::uint64_t SceneTally::PictureAt(std::uint64_t pos) const {
    std::uint64_t picture = m_scene.pictures > 0 ? m_scene.pictures - 1 : 0;
    // Pictures older than the recent ones: the oldest known stands in.
    for (auto at = m_recentPictures.rbegin(); at != m_recentPictures.rend() && *at > pos; ++at) {
        if (picture > 0) {
            --picture;
        }
    }
    return picture;
}

void SceneTally::AddBytes(std::int64_t pos, std::uint64_t size) {
    if (!m_bOpen) {
        return;
    }
    if (m_scene.length == 0) {
        m_scene.offset = pos;
    }
    m_scene.length += size;
}

void SceneTally::Settle(std::uint64_t end, bool written) {
    while (!m_pending.empty() && m_pending.front().pos < end) {
        if (written) {
            Apply(m_pending.front());
        }
        m_pending.pop_front();
    }
    if (end > m_settledEnd) {
        m_settledEnd = end;
    }
    m_bLastWritten = written;
}

}  // namespace vornak
