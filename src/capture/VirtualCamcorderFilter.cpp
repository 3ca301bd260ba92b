#include "VirtualCamcorderFilter.h"

#include "Guids.h"
#include "VirtualCamcorderPin.h"

namespace vornak {

VirtualCamcorderFilter::VirtualCamcorderFilter()
    : CBaseFilter("Virtual camcorder", nullptr, GUID_NULL),
      m_pPin(std::make_unique<VirtualCamcorderPin>(this, Lock())) {}

VirtualCamcorderFilter::~VirtualCamcorderFilter() {
    m_pPin.reset();
}

bool VirtualCamcorderFilter::LoadTape(const std::string& path) {
    m_transport.Stop();
    const bool ok = m_tape.Open(path);
    m_transport.Load(m_tape.PacketCount());
    m_nSent.store(0, std::memory_order_relaxed);
    m_endOfTape.Reset();
    return ok;
}

void VirtualCamcorderFilter::PlayTape() {
    m_endOfTape.Reset();
    m_transport.Play();
}

CBasePin* VirtualCamcorderFilter::GetPin(int n) {
    return n == 0 ? m_pPin.get() : nullptr;
}

}  // namespace vornak
