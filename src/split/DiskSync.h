// Flushing finished files to the disk, so that what a program reports as done survives a power
// cut. Behind an interface so that tests can see the flushes and make them fail.
//
// Thread-safety: the system's implementation keeps no state and may be used from any thread.
#pragma once

#include <string>

namespace vornak {

class DiskSync {
  public:
    virtual ~DiskSync() = default;
    // Flushes the data of an open file and what is needed to read it back (fdatasync).
    // Returns 0, or the system's error number.
    virtual int SyncFile(int fd) = 0;
    // Flushes a folder's entries (fsync of the folder), so that the names of the files just
    // made in it survive as well. Returns 0, or the system's error number.
    virtual int SyncFolder(const std::string& folder) = 0;

    // The real flushes.
    static DiskSync& System();
};

// The folder a path lies in: "a/b/c" gives "a/b", "c" gives ".", "/c" gives "/".
std::string FolderOf(const std::string& path);

}  // namespace vornak
