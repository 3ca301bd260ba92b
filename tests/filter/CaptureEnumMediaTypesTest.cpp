// The capture pin's media type enumerator: the connection's type (snapshot) followed by the
// accepted types given at construction, deep copies in task memory, Skip, Reset and Clone.
#include "CaptureEnumMediaTypes.h"

#include <gtest/gtest.h>

#include <cstring>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "TaskMemory.h"

namespace vornak {
namespace {

constexpr std::uint8_t kFormat[] = {1, 2, 3, 4, 5};

class CaptureEnumMediaTypesTest : public ::testing::Test {
  protected:
    void Make(int count) {
        m_types[0].majortype = MEDIATYPE_Stream;
        m_types[1].majortype = MEDIATYPE_Stream;
        m_types[1].subtype = MEDIASUBTYPE_MPEG2_TRANSPORT;
        m_filter = ComPtr<CaptureFilter>(new CaptureFilter(m_types, count));
        m_source = ComPtr<test::SinkFilter>(new test::SinkFilter());  // any pin will do
    }
    CapturePin* Pin() const { return m_filter->GetCapturePin(); }
    void ConnectWithFormat() {
        CMediaType type(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
        ASSERT_TRUE(type.SetFormat(kFormat, sizeof kFormat));
        ASSERT_EQ(Pin()->ReceiveConnection(m_source->Pin(), &type), S_OK);
    }
    ComPtr<IEnumMediaTypes> Enumerate() const {
        ComPtr<IEnumMediaTypes> types;
        EXPECT_EQ(Pin()->EnumMediaTypes(types.Receive()), S_OK);
        return types;
    }
    // Subtypes of everything the enumerator still yields.
    static std::vector<GUID> Drain(IEnumMediaTypes* types) {
        std::vector<GUID> subtypes;
        AM_MEDIA_TYPE* mt = nullptr;
        while (types->Next(1, &mt, nullptr) == S_OK) {
            subtypes.push_back(mt->subtype);
            DeleteMediaType(mt);
        }
        return subtypes;
    }

    AM_MEDIA_TYPE m_types[2];
    ComPtr<test::SinkFilter> m_source;
    ComPtr<CaptureFilter> m_filter;
};

TEST_F(CaptureEnumMediaTypesTest, OffersNothingBeforeAConnectionAndTheConnectionTypeAfter) {
    Make(0);
    EXPECT_TRUE(Drain(Enumerate().Get()).empty());

    ConnectWithFormat();
    auto types = Enumerate();
    AM_MEDIA_TYPE* mt[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(2, mt, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(mt[0]->subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    ASSERT_EQ(mt[0]->cbFormat, sizeof kFormat);
    EXPECT_EQ(std::memcmp(mt[0]->pbFormat, kFormat, sizeof kFormat), 0);
    EXPECT_NE(mt[0]->pbFormat, Pin()->ConnectionType().pbFormat);  // a copy of its own
    DeleteMediaType(mt[0]);

    EXPECT_EQ(Pin()->Disconnect(), S_OK);
    EXPECT_TRUE(Drain(Enumerate().Get()).empty());
}

TEST_F(CaptureEnumMediaTypesTest, FollowsTheSnapshotWithTheConstructionTypes) {
    Make(2);
    EXPECT_EQ(Drain(Enumerate().Get()),
              (std::vector<GUID>{GUID_NULL, MEDIASUBTYPE_MPEG2_TRANSPORT}));
    ConnectWithFormat();
    EXPECT_EQ(Drain(Enumerate().Get()), (std::vector<GUID>{MEDIASUBTYPE_MPEG2_TRANSPORT, GUID_NULL,
                                                           MEDIASUBTYPE_MPEG2_TRANSPORT}));
}

TEST_F(CaptureEnumMediaTypesTest, KeepsItsSnapshotUntilReset) {
    Make(0);
    auto types = Enumerate();  // taken before the connection
    ConnectWithFormat();
    EXPECT_TRUE(Drain(types.Get()).empty());
    EXPECT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(Drain(types.Get()), std::vector<GUID>{MEDIASUBTYPE_MPEG2_TRANSPORT});
}

TEST_F(CaptureEnumMediaTypesTest, SkipAndCloneMoveThroughTheSameSequence) {
    Make(1);
    ConnectWithFormat();  // sequence: connection type, then entry 0
    auto types = Enumerate();
    EXPECT_EQ(types->Skip(2), S_OK);
    EXPECT_EQ(types->Skip(1), S_FALSE);
    EXPECT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(1), S_OK);
    ComPtr<IEnumMediaTypes> clone;
    ASSERT_EQ(types->Clone(clone.Receive()), S_OK);
    EXPECT_EQ(Drain(clone.Get()), std::vector<GUID>{GUID_NULL});
    EXPECT_EQ(Drain(types.Get()), std::vector<GUID>{GUID_NULL});
}

TEST_F(CaptureEnumMediaTypesTest, RefusesMissingResultPointers) {
    Make(1);
    auto types = Enumerate();
    AM_MEDIA_TYPE* mt[2] = {};
    EXPECT_EQ(types->Next(1, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(types->Next(2, mt, nullptr), E_POINTER);
    EXPECT_EQ(types->Next(1, mt, nullptr), S_OK);  // one needs no count
    DeleteMediaType(mt[0]);
}

}  // namespace
}  // namespace vornak
