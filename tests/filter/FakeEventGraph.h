// Just enough of a filter graph to be joined and to take events. Lives on the stack: its count
// never deletes it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "GraphInterfaces.h"
#include "Guids.h"
#include "StreamInterfaces.h"

namespace vornak::test {

class FakeEventGraph final : public IFilterGraph, public IMediaEventSink {
  public:
    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
        friend bool operator==(const Event&, const Event&) = default;
    };

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IFilterGraph) {
            return GetInterface(static_cast<IFilterGraph*>(this), ppv);
        }
        if (riid == IID_IMediaEventSink) {
            return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++m_cRef); }
    ULONG Release() override { return static_cast<ULONG>(--m_cRef); }
    HRESULT AddFilter(IBaseFilter*, const std::string&) override { return E_NOTIMPL; }
    HRESULT RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    HRESULT FindFilterByName(const std::string&, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT Disconnect(IPin*) override { return E_NOTIMPL; }

    HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back({code, param1, param2});
        }
        m_changed.notify_all();
        return S_OK;
    }
    // False after a generous safety limit.
    bool WaitForEvents(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_events.size() >= count; });
    }
    std::vector<Event> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

  private:
    std::atomic<int> m_cRef{1};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
};

}  // namespace vornak::test
