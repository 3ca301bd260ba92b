// Where one input's scene files go and how they begin, the same for vornak-split and the
// "Scenes splitting" page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vornak {

struct SceneJobNames {
    std::string baseName;   // path prefix of every scene file of this input
    std::string extension;  // without the dot; empty when the input has none
};

// The base name and extension that one input's scene files get: next to the input with its
// name, or in `outputDir` when that is not empty; `newName` replaces the input's name.
SceneJobNames MakeSceneJobNames(const std::string& path, const std::string& outputDir,
                                const std::optional<std::string>& newName);

// Why this input's scene files cannot be made, as one "ERROR: ..." line naming the folder or the
// name with the system's reason, or empty when they can (see OutputCheck.h). A new name given
// with an output folder names files in that folder, never in a folder of its own.
std::string CheckSceneJobOutput(const SceneJobNames& names, const std::string& outputDir,
                                const std::optional<std::string>& newName, std::int32_t counter,
                                bool dateTimeNaming, const std::string& dateFormat);

}  // namespace vornak
