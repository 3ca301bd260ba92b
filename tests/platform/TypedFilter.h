// A filter for graph building tests, made of pins that each take or offer one major type:
// without inputs it is a source, without outputs a sink or renderer, with both a converter.
// Pins may carry a category. Live() counts the filters not yet destroyed, so that a
// test can tell that a graph let go of every filter it made.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "CBaseFilter.h"
#include "CBaseInputPin.h"
#include "CBaseOutputPin.h"
#include "Guids.h"

namespace vornak::test {

struct PinSpec {
    PIN_DIRECTION dir;
    std::string name;
    GUID type;  // an input pin with GUID_NULL takes any type
    const GUID* category = nullptr;
};

class TypedInputPin : public CBaseInputPin {
  public:
    TypedInputPin(CBaseFilter* filter, const PinSpec& spec)
        : CBaseInputPin("TypedInputPin", filter, nullptr, spec.name),
          m_type(spec.type),
          m_category(spec.category) {}
    const GUID* Category() const override { return m_category; }
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return m_type == GUID_NULL || pmt->majortype == m_type ? S_OK : S_FALSE;
    }

  private:
    GUID m_type;
    const GUID* m_category;
};

class TypedOutputPin : public CBaseOutputPin {
  public:
    static constexpr LONG kBufferSize = 188;

    TypedOutputPin(CBaseFilter* filter, const PinSpec& spec)
        : CBaseOutputPin("TypedOutputPin", filter, nullptr, spec.name),
          m_type(spec.type),
          m_category(spec.category) {}
    const GUID* Category() const override { return m_category; }
    HRESULT GetMediaType(int position, CMediaType* pmt) override {
        if (position != 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        *pmt = CMediaType(m_type);
        return S_OK;
    }
    HRESULT CheckMediaType(const CMediaType* pmt) override {
        return pmt->majortype == m_type ? S_OK : S_FALSE;
    }
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override {
        pRequest->cBuffers = 1;
        pRequest->cbBuffer = kBufferSize;
        ALLOCATOR_PROPERTIES actual;
        return pAlloc->SetProperties(pRequest, &actual);
    }

  private:
    GUID m_type;
    const GUID* m_category;
};

class TypedFilter : public CBaseFilter {
  public:
    explicit TypedFilter(const std::vector<PinSpec>& pins)
        : CBaseFilter("TypedFilter", nullptr, GUID_NULL) {
        for (const PinSpec& spec : pins) {
            if (spec.dir == PINDIR_INPUT) {
                m_pins.push_back(std::make_unique<TypedInputPin>(this, spec));
            } else {
                m_pins.push_back(std::make_unique<TypedOutputPin>(this, spec));
            }
        }
        Live().fetch_add(1, std::memory_order_relaxed);
    }
    ~TypedFilter() override {
        m_pins.clear();
        Live().fetch_sub(1, std::memory_order_relaxed);
    }
    int GetPinCount() override { return static_cast<int>(m_pins.size()); }
    CBasePin* GetPin(int n) override {
        return n >= 0 && n < GetPinCount() ? m_pins[static_cast<std::size_t>(n)].get() : nullptr;
    }
    // The pin called `name`, with no reference added.
    CBasePin* Pin(const std::string& name) const {
        for (const auto& pin : m_pins) {
            if (pin->Name() == name) {
                return pin.get();
            }
        }
        return nullptr;
    }

    static std::atomic<int>& Live() {
        static std::atomic<int> live{0};
        return live;
    }

  private:
    std::vector<std::unique_ptr<CBasePin>> m_pins;
};

}  // namespace vornak::test
