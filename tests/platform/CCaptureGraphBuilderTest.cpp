// The capture graph builder: choosing the source pin by category, type or by being given it,
// building through an intermediate filter, through converters the graph inserts, or to a
// registered renderer, and leaving nothing behind when a build fails.
#include "CCaptureGraphBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Com.h"
#include "ComPtr.h"
#include "FilterRegistry.h"
#include "Guids.h"
#include "PinQueries.h"
#include "TypedFilter.h"

namespace vornak {
namespace {

using test::PinSpec;
using test::TypedFilter;

// Major types the test filters trade in besides streams and video.
constexpr GUID kAudio{0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr CLSID kConverterClass{0x1D7E0001, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
constexpr CLSID kRendererClass{0x1D7E0002, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};
constexpr char kConverterName[] = "Test converter";
constexpr char kRendererName[] = "Test renderer";

ComPtr<TypedFilter> MakeFilter(const std::vector<PinSpec>& pins) {
    return ComPtr<TypedFilter>(new TypedFilter(pins));
}

void RegisterTyped(const CLSID& clsid, const char* name, FilterRole role,
                   std::vector<PinSpec> pins) {
    RegisterFilter(RegisteredFilter{clsid, name, role, [pins](IBaseFilter** filter) {
                                        return HandOut<IBaseFilter>(new TypedFilter(pins), filter);
                                    }});
}

// The filter at the other end of the pin's connection, or null.
ComPtr<IBaseFilter> FilterAcross(IPin* pin) {
    return PinFilter(PinPeer(pin).Get());
}

class CCaptureGraphBuilderTest : public ::testing::Test {
  protected:
    CCaptureGraphBuilderTest() {
        CoInitialize(nullptr);
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, m_graph.ReceiveVoid()),
                  S_OK);
        EXPECT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2, m_builder.ReceiveVoid()),
                  S_OK);
        EXPECT_EQ(m_builder->SetFiltergraph(m_graph.Get()), S_OK);
        m_liveBefore = TypedFilter::Live().load();
    }
    ~CCaptureGraphBuilderTest() override {
        UnregisterFilter(kConverterClass);
        UnregisterFilter(kRendererClass);
        m_builder.Reset();
        m_graph.Reset();
        CoUninitialize();
    }

    ComPtr<TypedFilter> Add(const std::vector<PinSpec>& pins, const std::string& name) {
        ComPtr<TypedFilter> filter = MakeFilter(pins);
        EXPECT_TRUE(Succeeded(m_graph->AddFilter(filter.Get(), name)));
        return filter;
    }
    bool InGraph(const std::string& name) {
        ComPtr<IBaseFilter> found;
        return m_graph->FindFilterByName(name, found.Receive()) == S_OK;
    }

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<ICaptureGraphBuilder2> m_builder;
    int m_liveBefore = 0;
};

TEST_F(CCaptureGraphBuilderTest, KeepsTheGraphItWasGiven) {
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(m_builder->GetFiltergraph(graph.Receive()), S_OK);
    EXPECT_EQ(graph.Get(), m_graph.Get());
    EXPECT_EQ(m_builder->SetFiltergraph(m_graph.Get()), E_UNEXPECTED);
}

TEST_F(CCaptureGraphBuilderTest, RendersTheCapturePinOfASourceWithCaptureAndPreviewPins) {
    auto source = Add({{PINDIR_OUTPUT, "Preview", MEDIATYPE_Stream, &PIN_CATEGORY_PREVIEW},
                       {PINDIR_OUTPUT, "Capture", MEDIATYPE_Stream, &PIN_CATEGORY_CAPTURE}},
                      "Source");
    auto sink = Add({{PINDIR_INPUT, "In", MEDIATYPE_Stream}}, "Sink");

    ComPtr<IPin> found;
    ASSERT_EQ(m_builder->FindPin(source.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, true,
                                 0, found.Receive()),
              S_OK);
    EXPECT_EQ(found.Get(), static_cast<IPin*>(source->Pin("Capture")));

    ASSERT_EQ(
        m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, source.Get(), nullptr, sink.Get()),
        S_OK);
    EXPECT_EQ(PinPeer(source->Pin("Capture")).Get(), static_cast<IPin*>(sink->Pin("In")));
    EXPECT_FALSE(IsPinConnected(source->Pin("Preview")));
    // The capture pin is taken now; no other output has that category.
    EXPECT_EQ(
        m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, source.Get(), nullptr, sink.Get()),
        E_FAIL);
}

TEST_F(CCaptureGraphBuilderTest, RendersThePinOfTheAskedMediaType) {
    auto source = Add(
        {{PINDIR_OUTPUT, "Video", MEDIATYPE_Video}, {PINDIR_OUTPUT, "Stream", MEDIATYPE_Stream}},
        "Source");
    auto sink = Add({{PINDIR_INPUT, "In", GUID_NULL}}, "Sink");  // takes anything

    EXPECT_EQ(m_builder->RenderStream(nullptr, &kAudio, source.Get(), nullptr, sink.Get()), E_FAIL);
    EXPECT_FALSE(IsPinConnected(sink->Pin("In")));
    ASSERT_EQ(
        m_builder->RenderStream(nullptr, &MEDIATYPE_Stream, source.Get(), nullptr, sink.Get()),
        S_OK);
    EXPECT_TRUE(IsPinConnected(source->Pin("Stream")));
    EXPECT_FALSE(IsPinConnected(source->Pin("Video")));
}

TEST_F(CCaptureGraphBuilderTest, InsertsARegisteredConverterWherePinsDoNotAgree) {
    auto source = Add({{PINDIR_OUTPUT, "Out", MEDIATYPE_Video}}, "Source");
    auto sink = Add({{PINDIR_INPUT, "In", MEDIATYPE_Stream}}, "Sink");
    EXPECT_TRUE(
        Failed(m_builder->RenderStream(nullptr, nullptr, source.Get(), nullptr, sink.Get())));

    RegisterTyped(
        kConverterClass, kConverterName, FilterRole::Converter,
        {{PINDIR_INPUT, "In", MEDIATYPE_Video}, {PINDIR_OUTPUT, "Out", MEDIATYPE_Stream}});
    ASSERT_EQ(m_builder->RenderStream(nullptr, nullptr, source.Get(), nullptr, sink.Get()), S_OK);
    ComPtr<IBaseFilter> converter;
    ASSERT_EQ(m_graph->FindFilterByName(kConverterName, converter.Receive()), S_OK);
    EXPECT_TRUE(IsSameObject(FilterAcross(source->Pin("Out")).Get(), converter.Get()));
    EXPECT_TRUE(IsSameObject(FilterAcross(sink->Pin("In")).Get(), converter.Get()));
}

TEST_F(CCaptureGraphBuilderTest, RemovesTheConverterAgainWhenTheFarSideStillRefuses) {
    auto source = Add({{PINDIR_OUTPUT, "Out", MEDIATYPE_Video}}, "Source");
    auto sink = Add({{PINDIR_INPUT, "In", MEDIATYPE_Stream}}, "Sink");
    RegisterTyped(kConverterClass, kConverterName, FilterRole::Converter,
                  {{PINDIR_INPUT, "In", MEDIATYPE_Video}, {PINDIR_OUTPUT, "Out", kAudio}});

    EXPECT_EQ(m_builder->RenderStream(nullptr, nullptr, source.Get(), nullptr, sink.Get()),
              VFW_E_CANNOT_CONNECT);
    EXPECT_FALSE(InGraph(kConverterName));
    EXPECT_FALSE(IsPinConnected(source->Pin("Out")));
    EXPECT_FALSE(IsPinConnected(sink->Pin("In")));
    EXPECT_EQ(TypedFilter::Live().load(), m_liveBefore + 2);  // every converter tried is gone
}

TEST_F(CCaptureGraphBuilderTest, TakesAPinGivenAsTheSource) {
    auto source = Add(
        {{PINDIR_OUTPUT, "First", MEDIATYPE_Stream}, {PINDIR_OUTPUT, "Second", MEDIATYPE_Stream}},
        "Source");
    auto sink = Add({{PINDIR_INPUT, "In", MEDIATYPE_Stream}}, "Sink");
    IPin* second = source->Pin("Second");
    ASSERT_EQ(m_builder->RenderStream(nullptr, nullptr, second, nullptr, sink.Get()), S_OK);
    EXPECT_TRUE(IsPinConnected(second));
    EXPECT_FALSE(IsPinConnected(source->Pin("First")));
    EXPECT_EQ(m_builder->RenderStream(nullptr, nullptr, second, nullptr, sink.Get()),
              VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(m_builder->RenderStream(nullptr, nullptr, sink->Pin("In"), nullptr, sink.Get()),
              VFW_E_INVALID_DIRECTION);
}

TEST_F(CCaptureGraphBuilderTest, BuildsThroughAnIntermediateFilter) {
    auto source = Add({{PINDIR_OUTPUT, "Out", MEDIATYPE_Stream, &PIN_CATEGORY_CAPTURE}}, "Source");
    auto middle =
        Add({{PINDIR_INPUT, "In", MEDIATYPE_Stream}, {PINDIR_OUTPUT, "Out", kAudio}}, "Middle");
    auto sink = Add({{PINDIR_INPUT, "In", kAudio}}, "Sink");
    ASSERT_EQ(m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, source.Get(), middle.Get(),
                                      sink.Get()),
              S_OK);
    EXPECT_EQ(PinPeer(source->Pin("Out")).Get(), static_cast<IPin*>(middle->Pin("In")));
    EXPECT_EQ(PinPeer(middle->Pin("Out")).Get(), static_cast<IPin*>(sink->Pin("In")));
}

TEST_F(CCaptureGraphBuilderTest, AFailedSecondHalfUndoesTheFirst) {
    auto source = Add({{PINDIR_OUTPUT, "Out", MEDIATYPE_Video}}, "Source");
    auto middle =
        Add({{PINDIR_INPUT, "In", MEDIATYPE_Stream}, {PINDIR_OUTPUT, "Out", kAudio}}, "Middle");
    auto sink = Add({{PINDIR_INPUT, "In", MEDIATYPE_Video}}, "Sink");
    // The first half needs the converter; the second half cannot be built at all.
    RegisterTyped(
        kConverterClass, kConverterName, FilterRole::Converter,
        {{PINDIR_INPUT, "In", MEDIATYPE_Video}, {PINDIR_OUTPUT, "Out", MEDIATYPE_Stream}});

    EXPECT_TRUE(
        Failed(m_builder->RenderStream(nullptr, nullptr, source.Get(), middle.Get(), sink.Get())));
    EXPECT_FALSE(IsPinConnected(source->Pin("Out")));
    EXPECT_FALSE(IsPinConnected(middle->Pin("In")));
    EXPECT_FALSE(IsPinConnected(middle->Pin("Out")));
    EXPECT_FALSE(InGraph(kConverterName));
    EXPECT_EQ(TypedFilter::Live().load(), m_liveBefore + 3);
}

TEST_F(CCaptureGraphBuilderTest, ANullSinkRendersWithARegisteredRenderer) {
    auto source = Add({{PINDIR_OUTPUT, "Out", MEDIATYPE_Stream, &PIN_CATEGORY_PREVIEW}}, "Source");
    EXPECT_EQ(
        m_builder->RenderStream(&PIN_CATEGORY_PREVIEW, nullptr, source.Get(), nullptr, nullptr),
        VFW_E_CANNOT_RENDER);

    RegisterTyped(kRendererClass, kRendererName, FilterRole::Renderer,
                  {{PINDIR_INPUT, "In", MEDIATYPE_Stream}});
    ASSERT_EQ(
        m_builder->RenderStream(&PIN_CATEGORY_PREVIEW, nullptr, source.Get(), nullptr, nullptr),
        S_OK);
    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(m_graph->FindFilterByName(kRendererName, renderer.Receive()), S_OK);
    EXPECT_TRUE(IsSameObject(FilterAcross(source->Pin("Out")).Get(), renderer.Get()));
}

// A converter with two outputs, of which a renderer takes one: the stream is rendered in part.
TEST_F(CCaptureGraphBuilderTest, RendersEveryOutputOfAConverterItCan) {
    auto source = Add({{PINDIR_OUTPUT, "Out", MEDIATYPE_Stream}}, "Source");
    RegisterTyped(kConverterClass, kConverterName, FilterRole::Converter,
                  {{PINDIR_INPUT, "In", MEDIATYPE_Stream},
                   {PINDIR_OUTPUT, "Video", MEDIATYPE_Video},
                   {PINDIR_OUTPUT, "Audio", kAudio}});
    RegisterTyped(kRendererClass, kRendererName, FilterRole::Renderer,
                  {{PINDIR_INPUT, "In", MEDIATYPE_Video}});

    ASSERT_EQ(m_graph->Render(source->Pin("Out")), VFW_S_PARTIAL_RENDER);
    ComPtr<IBaseFilter> converter;
    ASSERT_EQ(m_graph->FindFilterByName(kConverterName, converter.Receive()), S_OK);
    ComPtr<IPin> video;
    ComPtr<IPin> audio;
    ASSERT_EQ(converter->FindPin("Video", video.Receive()), S_OK);
    ASSERT_EQ(converter->FindPin("Audio", audio.Receive()), S_OK);
    EXPECT_TRUE(IsPinConnected(video.Get()));
    EXPECT_FALSE(IsPinConnected(audio.Get()));
    EXPECT_TRUE(InGraph(kRendererName));
    EXPECT_FALSE(InGraph(std::string(kRendererName) + " 0001"));  // the refused one went again
}

}  // namespace
}  // namespace vornak
