// The base of pins: connection with media-type agreement, pin information, activation hooks.
//
// An output pin connects by offering types (the receiving pin's first, then its own) until
// one passes CheckMediaType here and ReceiveConnection there. The hooks CheckConnect,
// SetMediaType, CompleteConnect and BreakConnect let each pin prepare and undo a connection;
// Active, Inactive and Run follow the filter's state while the pin is connected.
// A pin's AddRef and Release count on its filter: pins live exactly as long as their filter.
#pragma once

#include <memory>
#include <string>

#include "CUnknown.h"
#include "ComPtr.h"
#include "CriticalSection.h"
#include "MediaType.h"
#include "StreamInterfaces.h"

namespace vornak {

class CBaseFilter;
class CPinPropertySet;

class CBasePin : public CUnknown, public IPin {
  public:
    // `lock` guards the connection; null makes the pin create a lock of its own.
    CBasePin(const char* objectName, CBaseFilter* filter, CCriticalSection* lock,
             std::string pinName, PIN_DIRECTION direction);
    ~CBasePin() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // IUnknown and IPin: the IPin pointer; IKsPropertySet while Category() is not null.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    HRESULT Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pPin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT QueryPinInfo(PIN_INFO* pInfo) override;
    HRESULT QueryDirection(PIN_DIRECTION* pPinDir) override;
    HRESULT QueryId(std::string* id) override;
    // S_OK when CheckMediaType accepts the type, else S_FALSE.
    HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    // The types of GetMediaType, from position 0 on.
    HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    HRESULT QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    virtual LONG GetMediaTypeVersion() { return 1; }
    // The pin's category (PIN_CATEGORY_CAPTURE, ...), answered through IKsPropertySet; null
    // for a pin without one, which then offers no property set.
    virtual const GUID* Category() const { return nullptr; }
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }
    // S_OK accepts; anything else refuses.
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    // Refuses a peer of the same direction.
    virtual HRESULT CheckConnect(IPin* pPin);
    virtual HRESULT BreakConnect() { return S_OK; }
    virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
    // The type at `position`: S_OK, or VFW_S_NO_MORE_ITEMS past the last one.
    virtual HRESULT GetMediaType(int position, CMediaType* pmt);

    bool IsConnected() const { return static_cast<bool>(m_Connected); }
    IPin* GetConnected() const { return m_Connected.Get(); }
    const std::string& Name() const { return m_name; }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    bool IsStopped() const;

  protected:
    HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum);
    HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT DisconnectInternal();

    std::string m_name;
    ComPtr<IPin> m_Connected;
    PIN_DIRECTION m_dir;
    CCriticalSection* m_pLock;
    CBaseFilter* m_pFilter;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart = 0;
    REFERENCE_TIME m_tStop = 0;
    double m_dRate = 1.0;

  private:
    std::unique_ptr<CCriticalSection> m_pOwnLock;
    // Handed out for IKsPropertySet; counts on this pin.
    std::unique_ptr<CPinPropertySet> m_pPropertySet;
};

}  // namespace vornak
