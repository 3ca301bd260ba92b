#include "PreviewDecoders.h"

#include "CMpeg1AudioDecoder.h"
#include "CMpeg2Demultiplexer.h"
#include "CMpeg2VideoDecoder.h"
#include "Com.h"
#include "FilterRegistry.h"
#include "Guids.h"

namespace vornak {
namespace {

template <typename Filter>
HRESULT CreateFilter(IBaseFilter** filter) {
    if (filter == nullptr) {
        return E_POINTER;
    }
    return HandOut(static_cast<IBaseFilter*>(new Filter()), filter);
}

HRESULT CreateDemultiplexer(REFIID riid, void** ppv) {
    auto* demux = new CMpeg2Demultiplexer();
    demux->AddRef();
    const HRESULT hr = demux->QueryInterface(riid, ppv);
    demux->Release();  // gone again unless the query handed out a reference
    return hr;
}

}  // namespace

void RegisterPreviewDecoders() {
    // Both registries replace an entry of the same class id, which keeps this idempotent.
    RegisterClassFactory(CLSID_MPEG2Demultiplexer, CreateDemultiplexer);
    RegisterFilter({CLSID_VornakMpeg2VideoDecoder, kMpeg2VideoDecoderName, FilterRole::Converter,
                    CreateFilter<CMpeg2VideoDecoder>});
    RegisterFilter({CLSID_VornakMpegAudioDecoder, kMpegAudioDecoderName, FilterRole::Converter,
                    CreateFilter<CMpeg1AudioDecoder>});
}

}  // namespace vornak
