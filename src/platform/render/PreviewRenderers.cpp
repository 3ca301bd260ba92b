#include "PreviewRenderers.h"

#include <memory>

#include "CAudioRenderer.h"
#include "CVideoRenderer.h"
#include "Com.h"
#include "FilterRegistry.h"
#include "Guids.h"
#include "QtAudioPlayback.h"

namespace vornak {
namespace {

HRESULT CreateAudioRenderer(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    auto* renderer = new CAudioRenderer(std::make_unique<QtAudioPlayback>());
    renderer->AddRef();
    const HRESULT hr = renderer->QueryInterface(riid, ppv);
    renderer->Release();
    return hr;
}

}  // namespace

void RegisterPreviewRenderers() {
    RegisterClassFactory(CLSID_VideoMixingRenderer, CVideoRenderer::CreateInstance);
    RegisterClassFactory(CLSID_DSoundRender, CreateAudioRenderer);
    RegisterFilter(RegisteredFilter{CLSID_DSoundRender, CAudioRenderer::kFilterName,
                                    FilterRole::Renderer, [](IBaseFilter** filter) {
                                        return CreateAudioRenderer(
                                            IID_IBaseFilter, reinterpret_cast<void**>(filter));
                                    }});
}

}  // namespace vornak
