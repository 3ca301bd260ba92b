// The rules for typed output folders, without any window: absolute paths whose every component
// is a valid folder name, and the level-by-level creation of the missing ones.
#pragma once

#include <string>
#include <string_view>

namespace vornak {

enum PathWalkResult {
    kPathValid = 0,       // valid (and, when creating, every level exists now)
    kPathInvalid = 1,     // not an absolute path of valid folder names
    kPathNotCreated = 2,  // valid, but a level could not be created
};

// Not empty, no tab, space or "." first or last, none of " * / : < > ? \ | anywhere.
bool IsValidFolderName(std::string_view name);

// Walks `path` ("/" is the root) component by component. With `create`, each missing level is
// made in turn, from the outermost; levels made before a failing one stay.
PathWalkResult WalkPath(const std::string& path, bool create);

// Something of that name exists: a folder, or any other file.
bool PathExists(const std::string& path);

}  // namespace vornak
