#include "PreviewDecoders.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Com.h"
#include "FilterRegistry.h"
#include "GraphInterfaces.h"
#include "Guids.h"
#include "PreviewInterfaces.h"
#include "PreviewTestSupport.h"

namespace vornak {
namespace {

TEST(PreviewDecoders, RegistersBothDecodersAsConvertersOnceHoweverOftenCalled) {
    RegisterPreviewDecoders();
    RegisterPreviewDecoders();
    const std::vector<RegisteredFilter> converters = RegisteredFilters(FilterRole::Converter);
    for (const auto& [clsid, name] :
         {std::pair{CLSID_VornakMpeg2VideoDecoder, std::string(kMpeg2VideoDecoderName)},
          std::pair{CLSID_VornakMpegAudioDecoder, std::string(kMpegAudioDecoderName)}}) {
        const auto isIt = [&](const RegisteredFilter& f) { return f.clsid == clsid; };
        ASSERT_EQ(std::count_if(converters.begin(), converters.end(), isIt), 1) << name;
        const auto entry = std::find_if(converters.begin(), converters.end(), isIt);
        EXPECT_EQ(entry->name, name);
        IBaseFilter* filter = nullptr;
        ASSERT_EQ(entry->create(&filter), S_OK) << name;
        CLSID made;
        EXPECT_EQ(filter->GetClassID(&made), S_OK);
        EXPECT_EQ(made, clsid);
        filter->Release();
    }
}

// What the capture page does: a demultiplexer with a video and an audio pin, connected to
// sinks that take only decoded pictures and sound. The graph has to find the decoders.
TEST(PreviewDecoders, GraphPutsTheRightDecoderBetweenEachPinAndItsSink) {
    ASSERT_TRUE(Succeeded(CoInitialize(nullptr)));
    RegisterPreviewDecoders();
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.ReceiveVoid()),
              S_OK);
    ComPtr<IBaseFilter> demux;
    ASSERT_EQ(CoCreateInstance(CLSID_MPEG2Demultiplexer, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IBaseFilter, demux.ReceiveVoid()),
              S_OK);
    ComPtr<IMpeg2Demultiplexer> pins;
    ASSERT_EQ(demux->QueryInterface(IID_IMpeg2Demultiplexer, pins.ReceiveVoid()), S_OK);
    const CMediaType videoType = test::Mpeg2VideoType(1440, 1088);
    const CMediaType audioType = test::Mpeg1AudioType(2, 48000);
    ComPtr<IPin> video;
    ComPtr<IPin> audio;
    ASSERT_EQ(pins->CreateOutputPin(&audioType, "Audio", audio.Receive()), S_OK);
    ASSERT_EQ(pins->CreateOutputPin(&videoType, "Video", video.Receive()), S_OK);
    ComPtr<test::RecordingSink> pictures(
        new test::RecordingSink(MEDIATYPE_Video, MEDIASUBTYPE_IYUV));
    ComPtr<test::RecordingSink> sound(new test::RecordingSink(MEDIATYPE_Audio, MEDIASUBTYPE_PCM));
    ASSERT_EQ(graph->AddFilter(demux.Get(), "Demultiplexer"), S_OK);
    ASSERT_EQ(graph->AddFilter(pictures.Get(), "Pictures"), S_OK);
    ASSERT_EQ(graph->AddFilter(sound.Get(), "Sound"), S_OK);

    // Audio first: the video decoder, tried first, has to refuse it.
    ASSERT_EQ(graph->Connect(audio.Get(), sound->Pin()), S_OK);
    ASSERT_EQ(graph->Connect(video.Get(), pictures->Pin()), S_OK);

    for (const auto& [name, pin] : {std::pair{kMpegAudioDecoderName, audio.Get()},
                                    std::pair{kMpeg2VideoDecoderName, video.Get()}}) {
        ComPtr<IBaseFilter> decoder;
        ASSERT_EQ(graph->FindFilterByName(name, decoder.Receive()), S_OK) << name;
        ComPtr<IPin> peer;
        ASSERT_EQ(pin->ConnectedTo(peer.Receive()), S_OK);
        PIN_INFO info;
        ASSERT_EQ(peer->QueryPinInfo(&info), S_OK);
        EXPECT_EQ(info.pFilter, decoder.Get()) << name;
        info.pFilter->Release();
    }
    for (IBaseFilter* filter : {demux.Get(), static_cast<IBaseFilter*>(pictures.Get()),
                                static_cast<IBaseFilter*>(sound.Get())}) {
        graph->RemoveFilter(filter);
    }
    for (const char* name : {kMpegAudioDecoderName, kMpeg2VideoDecoderName}) {
        ComPtr<IBaseFilter> decoder;
        if (Succeeded(graph->FindFilterByName(name, decoder.Receive()))) {
            graph->RemoveFilter(decoder.Get());
        }
    }
    CoUninitialize();
}

}  // namespace
}  // namespace vornak
