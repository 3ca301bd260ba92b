// The pin enumerator: order, Next with more than there is, Skip past the end, Reset, Clone,
// and the reference it holds on the filter.
#include "CaptureEnumPins.h"

#include <gtest/gtest.h>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "ComPtr.h"
#include "Guids.h"
#include "PreviewPin.h"

namespace vornak {
namespace {

class CaptureEnumPinsTest : public ::testing::Test {
  protected:
    CaptureEnumPinsTest() {
        m_types[0].majortype = MEDIATYPE_Stream;
        m_filter = ComPtr<CaptureFilter>(new CaptureFilter(m_types, 0));
        EXPECT_EQ(m_filter->EnumPins(m_enum.Receive()), S_OK);
    }

    IPin* Preview() const { return m_filter->GetPreviewPin(); }
    IPin* Capture() const { return m_filter->GetCapturePin(); }

    AM_MEDIA_TYPE m_types[1];
    ComPtr<CaptureFilter> m_filter;
    ComPtr<IEnumPins> m_enum;
};

TEST_F(CaptureEnumPinsTest, NextHandsOutBothPinsInGetPinOrderThenRunsDry) {
    IPin* pins[3] = {};
    ULONG fetched = 99;
    EXPECT_EQ(m_enum->Next(3, pins, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(pins[0], Preview());
    EXPECT_EQ(pins[1], Capture());
    pins[0]->Release();
    pins[1]->Release();

    EXPECT_EQ(m_enum->Next(1, pins, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(m_enum->Reset(), S_OK);
    EXPECT_EQ(m_enum->Next(1, pins, nullptr), S_OK);
    EXPECT_EQ(pins[0], Preview());
    pins[0]->Release();
}

TEST_F(CaptureEnumPinsTest, SkipReportsPassingTheLastPin) {
    EXPECT_EQ(m_enum->Skip(2), S_OK);
    EXPECT_EQ(m_enum->Reset(), S_OK);
    EXPECT_EQ(m_enum->Skip(3), S_FALSE);
    EXPECT_EQ(m_enum->Reset(), S_OK);
    EXPECT_EQ(m_enum->Skip(1), S_OK);
    IPin* pin = nullptr;
    EXPECT_EQ(m_enum->Next(1, &pin, nullptr), S_OK);
    EXPECT_EQ(pin, Capture());
    pin->Release();
}

TEST_F(CaptureEnumPinsTest, CloneStartsWhereTheOriginalIsAndMovesOnItsOwn) {
    ASSERT_EQ(m_enum->Skip(1), S_OK);
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(m_enum->Clone(clone.Receive()), S_OK);
    IPin* pin = nullptr;
    ASSERT_EQ(clone->Next(1, &pin, nullptr), S_OK);
    EXPECT_EQ(pin, Capture());
    pin->Release();
    EXPECT_EQ(clone->Next(1, &pin, nullptr), S_FALSE);
    ASSERT_EQ(m_enum->Next(1, &pin, nullptr), S_OK);  // the original has not moved
    EXPECT_EQ(pin, Capture());
    pin->Release();
}

TEST_F(CaptureEnumPinsTest, HoldsAReferenceOnTheFilterAndAnswersItsOwnInterfaces) {
    const ULONG withOne = m_filter->AddRef();
    m_filter->Release();
    ComPtr<IEnumPins> second;
    ASSERT_EQ(m_filter->EnumPins(second.Receive()), S_OK);
    EXPECT_EQ(m_filter->AddRef(), withOne + 1);
    m_filter->Release();
    second.Reset();
    EXPECT_EQ(m_filter->AddRef(), withOne);
    m_filter->Release();

    void* out = nullptr;
    EXPECT_EQ(m_enum->QueryInterface(IID_IEnumPins, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(m_enum.Get()));
    m_enum->Release();
    EXPECT_EQ(m_enum->QueryInterface(IID_IEnumMediaTypes, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
}  // namespace vornak
