// The program's own sink filter at the end of the capture graph. Two pins: 0 is the preview
// output "PreviewPin", 1 the capture input "~CapturePin". The capture page creates it directly
// (it has no class id and is never registered), takes the first reference, adds it to the
// graph and has the camcorder's output connected to the capture pin.
#pragma once

#include <memory>

#include "CBaseFilter.h"

namespace vornak {

class CapturePin;
class PreviewPin;

class CaptureFilter : public CBaseFilter {
  public:
    static constexpr int kPinCount = 2;
    static constexpr int kPreviewPinIndex = 0;
    static constexpr int kCapturePinIndex = 1;

    // `types` and `count` as CapturePin takes them. The new filter's count is 0.
    CaptureFilter(AM_MEDIA_TYPE* types, int count);
    ~CaptureFilter() override;

    // IUnknown, IPersist, IMediaFilter and IBaseFilter give the IBaseFilter pointer; nothing
    // else (no setup interface: the filter is never registered).
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return kPinCount; }
    CBasePin* GetPin(int n) override;
    HRESULT EnumPins(IEnumPins** ppEnum) override;
    HRESULT FindPin(const std::string& id, IPin** ppPin) override;
    HRESULT QueryVendorInfo(std::string* vendorInfo) override;

    // No reference added: the pins live as long as the filter.
    CapturePin* GetCapturePin() const { return m_pCapturePin.get(); }
    PreviewPin* GetPreviewPin() const { return m_pPreviewPin.get(); }

  private:
    std::unique_ptr<CapturePin> m_pCapturePin;
    std::unique_ptr<PreviewPin> m_pPreviewPin;
};

}  // namespace vornak
