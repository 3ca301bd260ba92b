// The base filter's state machine: which pins it activates, in what order, what a refusal
// does, and the clock, graph and pin lookups around it.
#include "CBaseFilter.h"

#include <gtest/gtest.h>

#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "TestSource.h"

namespace vornak {
namespace {

class FixedClock final : public IReferenceClock {
  public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG AddRef() override { return static_cast<ULONG>(++count); }
    ULONG Release() override { return static_cast<ULONG>(--count); }
    HRESULT GetTime(REFERENCE_TIME* time) override {
        *time = 1000;
        return S_OK;
    }
    int count = 1;
};

class CBaseFilterTest : public ::testing::Test {
  protected:
    CBaseFilterTest() : m_source(new test::TestSource()), m_sink(new test::SinkFilter()) {}
    ~CBaseFilterTest() override {
        m_source->Stop();
        Pin()->Disconnect();
        m_sink->Pin()->Disconnect();
    }
    test::TestSourcePin* Pin() const { return m_source->Pin(); }

    ComPtr<test::TestSource> m_source;
    ComPtr<test::SinkFilter> m_sink;
};

TEST_F(CBaseFilterTest, LeavesUnconnectedPinsAlone) {
    EXPECT_EQ(m_source->Run(5), S_OK);
    EXPECT_EQ(m_source->Stop(), S_OK);
    EXPECT_EQ(Pin()->actives + Pin()->inactives + Pin()->runs, 0);
}

TEST_F(CBaseFilterTest, RunFromStoppedPausesFirstAndStopDeactivates) {
    ASSERT_EQ(Pin()->Connect(m_sink->Pin(), nullptr), S_OK);
    EXPECT_EQ(m_source->Run(42), S_OK);
    EXPECT_EQ(Pin()->actives, 1);
    EXPECT_EQ(Pin()->runs, 1);
    EXPECT_EQ(Pin()->lastStart, 42);
    FILTER_STATE state = State_Stopped;
    m_source->GetState(0, &state);
    EXPECT_EQ(state, State_Running);

    EXPECT_EQ(m_source->Pause(), S_OK);  // from running: no second activation
    EXPECT_EQ(Pin()->actives, 1);
    EXPECT_EQ(m_source->Stop(), S_OK);
    EXPECT_EQ(m_source->Stop(), S_OK);
    EXPECT_EQ(Pin()->inactives, 1);
    EXPECT_TRUE(m_source->IsStopped());
}

TEST_F(CBaseFilterTest, ARefusedActivationKeepsTheFilterStopped) {
    ASSERT_EQ(Pin()->Connect(m_sink->Pin(), nullptr), S_OK);
    Pin()->refuseActive = E_OUTOFMEMORY;
    EXPECT_EQ(m_source->Run(0), E_OUTOFMEMORY);
    EXPECT_TRUE(m_source->IsStopped());
    EXPECT_EQ(Pin()->runs, 0);
}

TEST_F(CBaseFilterTest, TellsStreamTimeByItsClock) {
    REFERENCE_TIME now = 0;
    EXPECT_EQ(m_source->StreamTime(now), E_FAIL);
    FixedClock clock;
    ASSERT_EQ(m_source->SetSyncSource(&clock), S_OK);
    EXPECT_EQ(clock.count, 2);
    ASSERT_EQ(m_source->Run(300), S_OK);
    ASSERT_EQ(m_source->StreamTime(now), S_OK);
    EXPECT_EQ(now, 700);
    m_source->SetSyncSource(nullptr);
    EXPECT_EQ(clock.count, 1);
}

}  // namespace
}  // namespace vornak
