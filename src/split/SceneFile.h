// What a scene job creates and finishes one scene's file through, whatever goes into it: the
// transport stream's plain file, a raw DV file, or a container that takes DV frames.
#pragma once

#include <string>

namespace vornak {

class SceneFile {
  public:
    enum class Create { Created, AlreadyExists, Failed };

    virtual ~SceneFile() = default;

    // Exclusive creation: an existing file is never overwritten.
    virtual Create CreateNew(const std::string& path) = 0;
    virtual bool IsOpen() const = 0;
    // Finishes, flushes to the disk and closes; false when any of that failed.
    virtual bool Close() = 0;
    // Removes the open file if nothing went into it yet and `path` still names it; true when it
    // was removed.
    virtual bool RemoveIfEmpty(const std::string& path) = 0;
    // Why the last creation, write or close failed, for the end of an error line.
    virtual std::string Reason() const = 0;

  protected:
    SceneFile() = default;
    SceneFile(const SceneFile&) = default;
    SceneFile& operator=(const SceneFile&) = default;
};

}  // namespace vornak
