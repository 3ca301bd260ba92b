#include "FireWireHandle.h"

#include <utility>

namespace vornak {

FireWireHandle::FireWireHandle(std::shared_ptr<FireWireLibrary> library,
                               FireWireLibrary::Handle handle)
    : m_library(std::move(library)), m_handle(handle) {}

FireWireHandle::~FireWireHandle() {
    Reset();
}

FireWireHandle::FireWireHandle(FireWireHandle&& other) noexcept
    : m_library(std::move(other.m_library)), m_handle(std::exchange(other.m_handle, nullptr)) {}

FireWireHandle& FireWireHandle::operator=(FireWireHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        m_library = std::move(other.m_library);
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

FireWireHandle FireWireHandle::Open(std::shared_ptr<FireWireLibrary> library) {
    FireWireLibrary::Handle handle = library->NewHandle();
    return handle != nullptr ? FireWireHandle(std::move(library), handle) : FireWireHandle();
}

FireWireHandle FireWireHandle::OpenPort(std::shared_ptr<FireWireLibrary> library, int port) {
    FireWireHandle handle = Open(std::move(library));
    if (handle && handle.m_library->SetPort(handle.Get(), port) != 0) {
        handle.Reset();
    }
    return handle;
}

void FireWireHandle::Reset() {
    if (FireWireLibrary::Handle handle = std::exchange(m_handle, nullptr)) {
        m_library->DestroyHandle(handle);
    }
}

}  // namespace vornak
