#include "HealthSceneLog.h"

namespace vornak {

void HealthSceneLog::StartInput(const std::string& path) {
    m_inputs.push_back({path, {}, true});
}

void HealthSceneLog::MarkIncomplete() {
    if (!m_inputs.empty()) {
        m_inputs.back().complete = false;
    }
}

void HealthSceneLog::AddLog(LogSeverity severity, const std::string& line) {
    if (m_pNext != nullptr && (m_bLinesToo || IsProblem(severity))) {
        m_pNext->AddLog(severity, line);
    }
}

void HealthSceneLog::AddWritten(std::uint32_t bytes) {
    if (m_pNext != nullptr && m_bLinesToo) {
        m_pNext->AddWritten(bytes);
    }
}

void HealthSceneLog::AddDropped(int pictures) {
    if (m_pNext != nullptr && m_bLinesToo) {
        m_pNext->AddDropped(pictures);
    }
}

void HealthSceneLog::SceneFinished(const SceneSummary& scene) {
    if (m_inputs.empty()) {
        StartInput({});
    }
    m_inputs.back().scenes.push_back(scene);
    if (m_pNext != nullptr && m_bLinesToo) {
        m_pNext->SceneFinished(scene);
    }
}

}  // namespace vornak
