#include "PreviewRenderers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Com.h"
#include "ComPtr.h"
#include "FilterRegistry.h"
#include "Guids.h"
#include "PreviewInterfaces.h"

namespace vornak {
namespace {

TEST(PreviewRenderers, BothRenderersCanBeMadeByClassIdAndRegisteringTwiceIsHarmless) {
    RegisterPreviewRenderers();
    RegisterPreviewRenderers();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);

    ComPtr<IBaseFilter> video;
    ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IBaseFilter, video.ReceiveVoid()),
              S_OK);
    ComPtr<IVMRFilterConfig> config;
    ASSERT_EQ(video->QueryInterface(IID_IVMRFilterConfig, config.ReceiveVoid()), S_OK);
    EXPECT_EQ(config->SetRenderingMode(VMRMode_Windowless), S_OK);

    ComPtr<IBaseFilter> audio;
    ASSERT_EQ(CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               audio.ReceiveVoid()),
              S_OK);
    CLSID clsid;
    EXPECT_EQ(audio->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_DSoundRender);
    CoUninitialize();

    // Only the sound renderer is one the graph adds on its own, and only once.
    const std::vector<RegisteredFilter> renderers = RegisteredFilters(FilterRole::Renderer);
    ASSERT_EQ(
        std::count_if(renderers.begin(), renderers.end(),
                      [](const RegisteredFilter& f) { return f.clsid == CLSID_DSoundRender; }),
        1);
    const auto sound =
        std::find_if(renderers.begin(), renderers.end(),
                     [](const RegisteredFilter& f) { return f.clsid == CLSID_DSoundRender; });
    EXPECT_EQ(sound->name, "Default DirectSound Device");
    EXPECT_EQ(sound->role, FilterRole::Renderer);
    EXPECT_TRUE(std::none_of(renderers.begin(), renderers.end(), [](const RegisteredFilter& f) {
        return f.clsid == CLSID_VideoMixingRenderer;
    }));
    ComPtr<IBaseFilter> made;
    ASSERT_EQ(sound->create(made.Receive()), S_OK);
    EXPECT_EQ(made->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_DSoundRender);
}

}  // namespace
}  // namespace vornak
