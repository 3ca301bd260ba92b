// Checks, before any work starts, that new files can be made where a job will put them, so that
// a job (or a capture, before the tape plays) that could not write is refused with one clear
// error instead of failing at every scene. Nothing is created.
#pragma once

#include <cstdint>
#include <string>

namespace vornak {

// Why no file can be made in `folder`: an "ERROR: ..." line naming the folder and giving the
// system's reason (missing, not a folder, not writable), or an empty string when files can be.
std::string CheckOutputFolder(const std::string& folder);

// Why no file named `fileName` can be made in `folder` (folder checks included): a name that
// holds "/", or that is longer than the folder's file system allows. Empty when it can be.
std::string CheckOutputFile(const std::string& folder, const std::string& fileName);

// The same for the scene files of one job: `baseName` is the folder, "/" and the start of each
// file's name, as a job takes it; the trial name is the longest one the job's naming gives
// before any "-new" (the date form or the numbered form).
std::string CheckSceneOutput(const std::string& baseName, const std::string& extension,
                             std::int32_t firstCounter, bool dateTimeNaming,
                             const std::string& dateFormat);

}  // namespace vornak
