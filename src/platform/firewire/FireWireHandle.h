// One libraw1394 handle, destroyed with its owner. Handles are not shared between threads: the
// transport commands, the bus scans and the stream each open their own, as libavc1394 and
// libiec61883 both claim a handle's user data.
#pragma once

#include <memory>

#include "FireWireLibrary.h"

namespace vornak {

class FireWireHandle {
  public:
    FireWireHandle() = default;
    FireWireHandle(std::shared_ptr<FireWireLibrary> library, FireWireLibrary::Handle handle);
    ~FireWireHandle();
    FireWireHandle(FireWireHandle&& other) noexcept;
    FireWireHandle& operator=(FireWireHandle&& other) noexcept;
    FireWireHandle(const FireWireHandle&) = delete;
    FireWireHandle& operator=(const FireWireHandle&) = delete;

    // A handle not yet bound to a port; empty when the FireWire stack cannot be opened.
    static FireWireHandle Open(std::shared_ptr<FireWireLibrary> library);
    // A handle bound to `port`; empty when that fails.
    static FireWireHandle OpenPort(std::shared_ptr<FireWireLibrary> library, int port);

    FireWireLibrary::Handle Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void Reset();

  private:
    std::shared_ptr<FireWireLibrary> m_library;
    FireWireLibrary::Handle m_handle = nullptr;
};

}  // namespace vornak
