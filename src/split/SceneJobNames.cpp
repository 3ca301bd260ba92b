#include "SceneJobNames.h"

#include "OutputCheck.h"

namespace vornak {

namespace {

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') {
        return dir + name;
    }
    return dir + "/" + name;
}

}  // namespace

SceneJobNames MakeSceneJobNames(const std::string& path, const std::string& outputDir,
                                const std::optional<std::string>& newName) {
    SceneJobNames names{path, {}};
    std::size_t lastSlash = path.rfind('/');
    std::size_t lastDot = path.rfind('.');
    // Only a dot inside the file name starts an extension: in "/a.b/tape" the dot belongs to a
    // folder, and cutting there would put the scene files in the wrong place.
    if (lastDot != std::string::npos && (lastSlash == std::string::npos || lastDot > lastSlash)) {
        names.baseName = path.substr(0, lastDot);
        names.extension = path.substr(lastDot + 1);
    }
    if (!outputDir.empty() && lastSlash != std::string::npos) {
        names.baseName = names.baseName.substr(lastSlash + 1);
    }
    if (newName) {
        names.baseName = *newName;
    }
    if (!outputDir.empty()) {
        names.baseName = JoinPath(outputDir, names.baseName);
    }
    return names;
}

std::string CheckSceneJobOutput(const SceneJobNames& names, const std::string& outputDir,
                                const std::optional<std::string>& newName, std::int32_t counter,
                                bool dateTimeNaming, const std::string& dateFormat) {
    if (!outputDir.empty() && newName && newName->find('/') != std::string::npos) {
        return CheckOutputFile(outputDir, *newName);
    }
    return CheckSceneOutput(names.baseName, names.extension, counter, dateTimeNaming, dateFormat);
}

}  // namespace vornak
