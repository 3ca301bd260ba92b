// The filter graph as a holder of filters: membership and names, connections, the order in
// which filters change state, and letting go of everything when it goes.
#include "CFilterGraph.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

#include "Com.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "StreamingSource.h"
#include "TestSource.h"

namespace vornak {
namespace {

constexpr int kRepeatedBuilds = 1000;
constexpr std::size_t kSamplesToSee = 3;

ComPtr<IGraphBuilder> NewGraph() {
    ComPtr<IGraphBuilder> graph;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.ReceiveVoid()),
              S_OK);
    return graph;
}

ComPtr<IMediaControl> ControlOf(IGraphBuilder* graph) {
    ComPtr<IMediaControl> control;
    EXPECT_EQ(graph->QueryInterface(IID_IMediaControl, control.ReceiveVoid()), S_OK);
    return control;
}

OAFilterState StateOf(IMediaControl* control) {
    OAFilterState state = -1;
    EXPECT_EQ(control->GetState(0, &state), S_OK);
    return state;
}

// The count a COM object has beside the caller's: AddRef tells it, Release gives it back.
ULONG OtherReferences(IUnknown* object) {
    const ULONG count = object->AddRef();
    object->Release();
    return count - 2;
}

std::string NameOf(IBaseFilter* filter) {
    FILTER_INFO info;
    EXPECT_EQ(filter->QueryFilterInfo(&info), S_OK);
    if (info.pGraph != nullptr) {
        info.pGraph->Release();
    }
    return info.achName;
}

bool IsInGraph(IBaseFilter* filter) {
    FILTER_INFO info;
    filter->QueryFilterInfo(&info);
    const bool inGraph = info.pGraph != nullptr;
    if (inGraph) {
        info.pGraph->Release();
    }
    return inGraph;
}

class CFilterGraphTest : public ::testing::Test {
  protected:
    CFilterGraphTest() {
        CoInitialize(nullptr);
        m_graph = NewGraph();
        m_control = ControlOf(m_graph.Get());
    }
    ~CFilterGraphTest() override {
        m_control.Reset();
        m_graph.Reset();
        CoUninitialize();
    }

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
};

TEST_F(CFilterGraphTest, AddsFindsAndRemovesFiltersByUniqueNames) {
    ComPtr<test::TestSource> source(new test::TestSource());
    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    ComPtr<test::SinkFilter> second(new test::SinkFilter());
    ASSERT_EQ(m_graph->AddFilter(source.Get(), "Source"), S_OK);
    ASSERT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
    EXPECT_EQ(m_graph->AddFilter(second.Get(), "Sink"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(NameOf(second.Get()), "Sink 0001");
    EXPECT_EQ(m_graph->AddFilter(source.Get(), "Again"), E_INVALIDARG);
    EXPECT_EQ(OtherReferences(source.Get()), 1u);  // the graph's one

    ComPtr<IBaseFilter> found;
    ASSERT_EQ(m_graph->FindFilterByName("Sink", found.Receive()), S_OK);
    EXPECT_EQ(found.Get(), static_cast<IBaseFilter*>(sink.Get()));
    ASSERT_EQ(m_graph->FindFilterByName("Sink 0001", found.Receive()), S_OK);
    EXPECT_EQ(found.Get(), static_cast<IBaseFilter*>(second.Get()));
    found.Reset();

    ASSERT_EQ(m_graph->RemoveFilter(sink.Get()), S_OK);
    EXPECT_FALSE(IsInGraph(sink.Get()));
    EXPECT_EQ(OtherReferences(sink.Get()), 0u);
    EXPECT_EQ(m_graph->FindFilterByName("Sink", found.Receive()), VFW_E_NOT_FOUND);
    EXPECT_EQ(found.Get(), nullptr);
    EXPECT_EQ(m_graph->RemoveFilter(sink.Get()), VFW_E_NOT_FOUND);
    // The name is free again; an empty one is allowed and made unique like any other.
    EXPECT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
    ComPtr<test::SinkFilter> unnamed(new test::SinkFilter());
    ComPtr<test::SinkFilter> unnamedToo(new test::SinkFilter());
    ASSERT_EQ(m_graph->AddFilter(unnamed.Get(), ""), S_OK);
    ASSERT_EQ(m_graph->AddFilter(unnamedToo.Get(), ""), S_OK);
    EXPECT_FALSE(NameOf(unnamed.Get()).empty());
    EXPECT_NE(NameOf(unnamed.Get()), NameOf(unnamedToo.Get()));
}

TEST_F(CFilterGraphTest, ConnectsOnlyPinsOfItsOwnFiltersTheRightWayRound) {
    ComPtr<test::TestSource> source(new test::TestSource());
    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    ASSERT_EQ(m_graph->AddFilter(source.Get(), "Source"), S_OK);
    EXPECT_EQ(m_graph->ConnectDirect(source->Pin(), sink->Pin(), nullptr), VFW_E_NOT_IN_GRAPH);
    EXPECT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), VFW_E_NOT_IN_GRAPH);
    ASSERT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
    EXPECT_EQ(m_graph->ConnectDirect(sink->Pin(), source->Pin(), nullptr), VFW_E_INVALID_DIRECTION);
    ASSERT_EQ(m_graph->ConnectDirect(source->Pin(), sink->Pin(), nullptr), S_OK);
    EXPECT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(m_graph->Disconnect(sink->Pin()), S_OK);
    EXPECT_EQ(m_graph->Disconnect(source->Pin()), S_OK);
    EXPECT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
}

TEST_F(CFilterGraphTest, RemovingAPausedFilterStopsItAndDisconnectsIt) {
    ComPtr<test::TestSource> source(new test::TestSource());
    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    ASSERT_EQ(m_graph->AddFilter(source.Get(), "Source"), S_OK);
    ASSERT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
    ASSERT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
    ASSERT_EQ(m_control->Pause(), S_OK);

    ASSERT_EQ(m_graph->RemoveFilter(source.Get()), S_OK);
    EXPECT_TRUE(source->IsStopped());
    EXPECT_FALSE(source->Pin()->IsConnected());
    EXPECT_FALSE(IsInGraph(source.Get()));
    // The paused sink cannot let go yet; it does when the graph stops.
    ASSERT_EQ(m_control->Stop(), S_OK);
    EXPECT_FALSE(sink->Pin()->IsConnected());
    EXPECT_EQ(OtherReferences(source.Get()), 0u);  // the sink's pin no longer holds it
}

TEST_F(CFilterGraphTest, RemovingAStoppedFilterDisconnectsBothEndsAtOnce) {
    ComPtr<test::TestSource> source(new test::TestSource());
    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    ASSERT_EQ(m_graph->AddFilter(source.Get(), "Source"), S_OK);
    ASSERT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
    ASSERT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
    ASSERT_EQ(m_graph->RemoveFilter(sink.Get()), S_OK);
    EXPECT_FALSE(source->Pin()->IsConnected());
    EXPECT_FALSE(sink->Pin()->IsConnected());
    EXPECT_EQ(OtherReferences(sink.Get()), 0u);
}

// Whichever order the filters came in, sinks change state first on the way up and last on the
// way down: the source's pin sees the sink already paused when it activates, already running
// when it runs, and not yet stopped when it deactivates.
TEST_F(CFilterGraphTest, RunsSinksFirstAndStopsSourcesFirst) {
    for (const bool sourceFirst : {true, false}) {
        SCOPED_TRACE(sourceFirst ? "source added first" : "sink added first");
        ComPtr<IGraphBuilder> graph = NewGraph();
        ComPtr<IMediaControl> control = ControlOf(graph.Get());
        ComPtr<test::TestSource> source(new test::TestSource());
        ComPtr<test::SinkFilter> sink(new test::SinkFilter());
        if (sourceFirst) {
            ASSERT_EQ(graph->AddFilter(source.Get(), "Source"), S_OK);
        }
        ASSERT_EQ(graph->AddFilter(sink.Get(), "Sink"), S_OK);
        if (!sourceFirst) {
            ASSERT_EQ(graph->AddFilter(source.Get(), "Source"), S_OK);
        }
        ASSERT_EQ(graph->Connect(source->Pin(), sink->Pin()), S_OK);

        ASSERT_EQ(control->Run(), S_OK);
        EXPECT_EQ(StateOf(control.Get()), State_Running);
        EXPECT_EQ(source->Pin()->actives, 1);
        EXPECT_EQ(source->Pin()->peerStateAtActive, State_Paused);
        EXPECT_EQ(source->Pin()->peerStateAtRun, State_Running);

        ASSERT_EQ(control->Stop(), S_OK);
        EXPECT_EQ(StateOf(control.Get()), State_Stopped);
        EXPECT_EQ(source->Pin()->inactives, 1);
        EXPECT_EQ(source->Pin()->peerStateAtInactive, State_Running);
        EXPECT_TRUE(sink->IsStopped());
    }
}

TEST_F(CFilterGraphTest, AFilterThatCannotPauseLeavesTheGraphStopped) {
    ComPtr<test::TestSource> source(new test::TestSource());
    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    ASSERT_EQ(m_graph->AddFilter(source.Get(), "Source"), S_OK);
    ASSERT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
    ASSERT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
    source->Pin()->refuseActive = E_OUTOFMEMORY;
    EXPECT_EQ(m_control->Run(), E_OUTOFMEMORY);
    EXPECT_EQ(StateOf(m_control.Get()), State_Stopped);
    EXPECT_TRUE(sink->IsStopped());
    EXPECT_TRUE(source->IsStopped());
}

TEST_F(CFilterGraphTest, AStreamingSourceNeverDeliversIntoAStoppedSink) {
    ComPtr<test::StreamingSource> source(new test::StreamingSource());
    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    ASSERT_EQ(m_graph->AddFilter(source.Get(), "Source"), S_OK);
    ASSERT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
    ASSERT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
    for (int round = 0; round < 3; ++round) {
        const std::size_t before = sink->Pin()->Arrivals();
        ASSERT_EQ(m_control->Run(), S_OK);
        ASSERT_TRUE(sink->Pin()->WaitForArrivals(before + kSamplesToSee));
        ASSERT_EQ(m_control->Stop(), S_OK);
    }
    EXPECT_EQ(source->Pin()->refusedAsStopped.load(), 0);
}

// A graph that goes while its filters run stops them, and neither the filters nor the
// connection between them (pins hold their peers) outlive it.
TEST_F(CFilterGraphTest, GoingWhileRunningReleasesConnectedFilters) {
    const int sourcesBefore = test::StreamingSource::Live().load();
    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    {
        ComPtr<test::StreamingSource> source(new test::StreamingSource());
        ASSERT_EQ(m_graph->AddFilter(source.Get(), "Source"), S_OK);
        ASSERT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
        ASSERT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
    }
    ASSERT_EQ(m_control->Run(), S_OK);
    ASSERT_TRUE(sink->Pin()->WaitForArrivals(kSamplesToSee));

    m_control.Reset();
    m_graph.Reset();
    EXPECT_EQ(test::StreamingSource::Live().load(), sourcesBefore);
    EXPECT_TRUE(sink->IsStopped());
    EXPECT_FALSE(sink->Pin()->IsConnected());
    EXPECT_FALSE(IsInGraph(sink.Get()));
    EXPECT_EQ(OtherReferences(sink.Get()), 0u);
}

TEST_F(CFilterGraphTest, BuildingRunningAndStoppingAThousandTimesLeavesNothing) {
    const int sourcesBefore = test::StreamingSource::Live().load();
    for (int i = 0; i < kRepeatedBuilds; ++i) {
        ComPtr<IGraphBuilder> graph = NewGraph();
        ComPtr<IMediaControl> control = ControlOf(graph.Get());
        ComPtr<test::StreamingSource> source(new test::StreamingSource());
        ComPtr<test::SinkFilter> sink(new test::SinkFilter());
        ASSERT_EQ(graph->AddFilter(source.Get(), "Source"), S_OK);
        ASSERT_EQ(graph->AddFilter(sink.Get(), "Sink"), S_OK);
        ASSERT_EQ(graph->Connect(source->Pin(), sink->Pin()), S_OK);
        ASSERT_EQ(control->Run(), S_OK);
        ASSERT_EQ(control->Stop(), S_OK);
        ASSERT_EQ(source->Pin()->refusedAsStopped.load(), 0);
    }
    EXPECT_EQ(test::StreamingSource::Live().load(), sourcesBefore);
}

}  // namespace
}  // namespace vornak
