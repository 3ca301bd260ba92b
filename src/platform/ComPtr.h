// Holds one reference to an interface and gives it back when it goes.
#pragma once

#include <utility>

#include "Unknown.h"

namespace vornak {

template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    // Adds a reference of its own.
    explicit ComPtr(T* p) : m_p(p) {
        if (m_p) {
            m_p->AddRef();
        }
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Takes over a reference that the caller already holds (an out-parameter's).
    static ComPtr Attach(T* p) {
        ComPtr result;
        result.m_p = p;
        return result;
    }

    void Reset() {
        if (T* p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }
    // For out-parameters: drops the current reference and lends the slot.
    T** Receive() {
        Reset();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

  private:
    T* m_p = nullptr;
};

}  // namespace vornak
