// The filter graph's event queue and its notification of a window: what is queued, what is
// posted and when posting must stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "CFilterGraph.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "StreamingSource.h"
#include "TestSource.h"

namespace vornak {
namespace {

constexpr auto kSafetyLimit = std::chrono::seconds(10);
// Long enough for a SetNotifyWindow that does not wait for a post in progress to return.
constexpr auto kGraceForAWrongReturn = std::chrono::milliseconds(50);
constexpr LONG kShortTimeoutMs = 20;
constexpr LONG kLongTimeoutMs = 10000;
constexpr UINT kMessage = WM_USER + 7;
constexpr LONG_PTR kInstanceData = 0x5EED;
constexpr LONG kEventCount = 200;

struct Post {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Records posts. Once closed it counts every post as one too many; while its gate is shut
// a post waits inside PostMessage.
class FakeWindow final : public INotifyWindow {
  public:
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        std::unique_lock lock(m_mutex);
        if (m_bClosed) {
            ++m_nLate;
        }
        m_posts.push_back(Post{msg, wParam, lParam});
        ++m_entered;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_gateShut; });
    }
    bool WaitForPosts(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kSafetyLimit, [&] { return m_entered >= count; });
    }
    void ShutGate() {
        std::lock_guard lock(m_mutex);
        m_gateShut = true;
    }
    void OpenGate() {
        {
            std::lock_guard lock(m_mutex);
            m_gateShut = false;
        }
        m_changed.notify_all();
    }
    void Close() {
        std::lock_guard lock(m_mutex);
        m_bClosed = true;
    }
    std::vector<Post> Posts() {
        std::lock_guard lock(m_mutex);
        return m_posts;
    }
    int LateArrivals() {
        std::lock_guard lock(m_mutex);
        return m_nLate;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Post> m_posts;
    std::size_t m_entered = 0;
    bool m_gateShut = false;
    bool m_bClosed = false;
    int m_nLate = 0;
};

class CFilterGraphEventTest : public ::testing::Test {
  protected:
    CFilterGraphEventTest() : m_graph(static_cast<IGraphBuilder*>(new CFilterGraph())) {
        EXPECT_EQ(m_graph->QueryInterface(IID_IMediaEventEx, m_events.ReceiveVoid()), S_OK);
        EXPECT_EQ(m_graph->QueryInterface(IID_IMediaEventSink, m_sink.ReceiveVoid()), S_OK);
    }
    ~CFilterGraphEventTest() override {
        if (m_events) {
            m_events->SetNotifyWindow(nullptr, 0, 0);
        }
    }

    // The next event's code, or -1 after `timeoutMs` without one.
    LONG NextCode(LONG timeoutMs = 0) {
        LONG code = 0;
        LONG_PTR param1 = 0;
        LONG_PTR param2 = 0;
        const HRESULT hr = m_events->GetEvent(&code, &param1, &param2, timeoutMs);
        return hr == S_OK ? code : -1;
    }

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaEventEx> m_events;
    ComPtr<IMediaEventSink> m_sink;
    FakeWindow m_window;
};

TEST_F(CFilterGraphEventTest, AnEmptyQueueAbortsAtOnceOrAfterTheTimeOut) {
    LONG code = 1;
    LONG_PTR param1 = 1;
    LONG_PTR param2 = 1;
    EXPECT_EQ(m_events->GetEvent(&code, &param1, &param2, 0), E_ABORT);
    EXPECT_EQ(m_events->GetEvent(&code, &param1, &param2, kShortTimeoutMs), E_ABORT);
    EXPECT_EQ(m_events->GetEvent(nullptr, &param1, &param2, 0), E_POINTER);

    ASSERT_EQ(m_sink->Notify(EC_DEVICE_LOST, 3, 4), S_OK);
    ASSERT_EQ(m_events->GetEvent(&code, &param1, &param2, 0), S_OK);
    EXPECT_EQ(code, EC_DEVICE_LOST);
    EXPECT_EQ(param1, 3);
    EXPECT_EQ(param2, 4);
    EXPECT_EQ(m_events->FreeEventParams(code, param1, param2), S_OK);
    EXPECT_EQ(NextCode(), -1);
}

TEST_F(CFilterGraphEventTest, AWaitingGetEventWakesForAnEventFromAnotherThread) {
    std::thread notifier([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kShortTimeoutMs));
        m_sink->Notify(EC_COMPLETE, 0, 0);
    });
    EXPECT_EQ(NextCode(kLongTimeoutMs), EC_COMPLETE);
    notifier.join();
}

TEST_F(CFilterGraphEventTest, PostsOneMessagePerEventFromAnotherThread) {
    ASSERT_EQ(m_events->SetNotifyWindow(&m_window, kMessage, kInstanceData), S_OK);
    std::thread notifier([this] {
        for (LONG i = 0; i < kEventCount; ++i) {
            m_sink->Notify(EC_COMPLETE + i, i, 0);
        }
    });
    notifier.join();

    const std::vector<Post> posts = m_window.Posts();
    ASSERT_EQ(posts.size(), static_cast<std::size_t>(kEventCount));
    for (const Post& post : posts) {
        EXPECT_EQ(post.msg, kMessage);
        EXPECT_EQ(post.wParam, 0u);
        EXPECT_EQ(post.lParam, kInstanceData);
    }
    for (LONG i = 0; i < kEventCount; ++i) {
        ASSERT_EQ(NextCode(), EC_COMPLETE + i);
    }
    EXPECT_EQ(NextCode(), -1);
}

TEST_F(CFilterGraphEventTest, SetNotifyWindowWaitsForAPostInProgressAndNoneFollows) {
    ASSERT_EQ(m_events->SetNotifyWindow(&m_window, kMessage, kInstanceData), S_OK);
    m_window.ShutGate();
    std::thread notifier([this] { m_sink->Notify(EC_COMPLETE, 0, 0); });
    ASSERT_TRUE(m_window.WaitForPosts(1));  // held inside PostMessage

    std::atomic<bool> returned{false};
    std::thread clearer([&] {
        m_events->SetNotifyWindow(nullptr, 0, 0);
        returned.store(true);
        m_window.Close();
    });
    std::this_thread::sleep_for(kGraceForAWrongReturn);
    EXPECT_FALSE(returned.load());
    m_window.OpenGate();
    clearer.join();
    notifier.join();

    EXPECT_EQ(m_sink->Notify(EC_COMPLETE, 1, 0), S_OK);
    EXPECT_EQ(m_window.Posts().size(), 1u);
    EXPECT_EQ(m_window.LateArrivals(), 0);
    EXPECT_EQ(NextCode(), EC_COMPLETE);
    EXPECT_EQ(NextCode(), EC_COMPLETE);  // events are still queued, only not posted
}

TEST_F(CFilterGraphEventTest, NoNotifyFlagStopsPostingUntilClearedAgain) {
    ASSERT_EQ(m_events->SetNotifyWindow(&m_window, kMessage, kInstanceData), S_OK);
    ASSERT_EQ(m_events->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY), S_OK);
    LONG flags = 0;
    ASSERT_EQ(m_events->GetNotifyFlags(&flags), S_OK);
    EXPECT_EQ(flags, AM_MEDIAEVENT_NONOTIFY);
    ASSERT_EQ(m_sink->Notify(EC_COMPLETE, 0, 0), S_OK);
    EXPECT_TRUE(m_window.Posts().empty());
    EXPECT_EQ(NextCode(), EC_COMPLETE);

    EXPECT_EQ(m_events->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY << 1), E_INVALIDARG);
    ASSERT_EQ(m_events->SetNotifyFlags(0), S_OK);
    ASSERT_EQ(m_sink->Notify(EC_DEVICE_LOST, 0, 0), S_OK);
    EXPECT_EQ(m_window.Posts().size(), 1u);
}

TEST_F(CFilterGraphEventTest, AFiltersNotifyEventReachesTheQueueOnlyWhileInTheGraph) {
    ComPtr<test::TestSource> filter(new test::TestSource());
    EXPECT_EQ(filter->NotifyEvent(EC_COMPLETE, 1, 2), S_FALSE);
    ASSERT_EQ(m_graph->AddFilter(filter.Get(), "Source"), S_OK);
    EXPECT_EQ(filter->NotifyEvent(EC_DEVICE_LOST, 1, 2), S_OK);
    EXPECT_EQ(NextCode(), EC_DEVICE_LOST);
    ASSERT_EQ(m_graph->RemoveFilter(filter.Get()), S_OK);
    EXPECT_EQ(filter->NotifyEvent(EC_COMPLETE, 1, 2), S_FALSE);
    EXPECT_EQ(NextCode(), -1);
}

// Streaming threads notify while the graph stops them and while it goes: every event they
// report while in the graph is queued, and a graph that goes while they stream is safe.
TEST_F(CFilterGraphEventTest, StreamingThreadsNotifyWhileTheGraphStopsAndGoes) {
    ComPtr<test::StreamingSource> source(new test::StreamingSource());
    ComPtr<test::SinkFilter> sink(new test::SinkFilter());
    ASSERT_EQ(m_graph->AddFilter(source.Get(), "Source"), S_OK);
    ASSERT_EQ(m_graph->AddFilter(sink.Get(), "Sink"), S_OK);
    ASSERT_EQ(m_graph->Connect(source->Pin(), sink->Pin()), S_OK);
    ASSERT_EQ(m_events->SetNotifyWindow(&m_window, kMessage, kInstanceData), S_OK);
    ComPtr<IMediaControl> control;
    ASSERT_EQ(m_graph->QueryInterface(IID_IMediaControl, control.ReceiveVoid()), S_OK);

    ASSERT_EQ(control->Run(), S_OK);
    ASSERT_TRUE(sink->Pin()->WaitForArrivals(3));
    ASSERT_EQ(control->Stop(), S_OK);
    const int delivered = source->Pin()->delivered.load();
    int queued = 0;
    while (NextCode() == test::StreamingSourcePin::kDeliveredEvent) {
        ++queued;
    }
    EXPECT_EQ(queued, delivered);
    EXPECT_EQ(m_window.Posts().size(), static_cast<std::size_t>(delivered));

    ASSERT_EQ(control->Run(), S_OK);
    ASSERT_TRUE(sink->Pin()->WaitForArrivals(static_cast<std::size_t>(delivered) + 3));
    m_events->SetNotifyWindow(nullptr, 0, 0);
    control.Reset();
    m_events.Reset();
    m_sink.Reset();
    m_graph.Reset();  // still running
    EXPECT_TRUE(source->IsStopped());
    EXPECT_EQ(source->NotifyEvent(EC_COMPLETE, 0, 0), S_FALSE);
}

}  // namespace
}  // namespace vornak
