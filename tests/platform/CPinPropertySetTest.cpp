// A pin's category through IKsPropertySet: only pins with a category offer the set, it reads
// the category and nothing else, and it keeps the pin's filter alive while held.
#include "CPinPropertySet.h"

#include <gtest/gtest.h>

#include "ComPtr.h"
#include "Guids.h"
#include "TypedFilter.h"

namespace vornak {
namespace {

class CPinPropertySetTest : public ::testing::Test {
  protected:
    CPinPropertySetTest()
        : m_filter(new test::TypedFilter(
              {{PINDIR_OUTPUT, "Capture", MEDIATYPE_Stream, &PIN_CATEGORY_CAPTURE},
               {PINDIR_OUTPUT, "Plain", MEDIATYPE_Stream},
               {PINDIR_INPUT, "In", MEDIATYPE_Stream},
               {PINDIR_INPUT, "Preview in", MEDIATYPE_Stream, &PIN_CATEGORY_PREVIEW}})) {}

    ComPtr<IKsPropertySet> PropertiesOf(const char* pin) {
        ComPtr<IKsPropertySet> properties;
        m_filter->Pin(pin)->QueryInterface(IID_IKsPropertySet, properties.ReceiveVoid());
        return properties;
    }

    ComPtr<test::TypedFilter> m_filter;
};

TEST_F(CPinPropertySetTest, OnlyPinsWithACategoryOfferIt) {
    EXPECT_TRUE(PropertiesOf("Capture"));
    EXPECT_FALSE(PropertiesOf("Plain"));
    EXPECT_FALSE(PropertiesOf("In"));
    // An input pin answers for its sample interface and passes the rest to the base pin.
    ComPtr<IKsPropertySet> properties = PropertiesOf("Preview in");
    ASSERT_TRUE(properties);
    GUID category;
    ASSERT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                              sizeof category, nullptr),
              S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_PREVIEW);
    ComPtr<IMemInputPin> samples;
    EXPECT_EQ(properties->QueryInterface(IID_IMemInputPin, samples.ReceiveVoid()), S_OK);
}

TEST_F(CPinPropertySetTest, ReadsTheCategoryAndNothingElse) {
    ComPtr<IKsPropertySet> properties = PropertiesOf("Capture");
    ASSERT_TRUE(properties);
    GUID category;
    DWORD returned = 0;
    ASSERT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                              sizeof category, &returned),
              S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
    EXPECT_EQ(returned, sizeof category);

    EXPECT_EQ(properties->Get(PIN_CATEGORY_CAPTURE, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                              sizeof category, &returned),
              E_PROP_SET_UNSUPPORTED);
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY + 1, nullptr, 0, &category,
                              sizeof category, &returned),
              E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                              sizeof category - 1, &returned),
              E_UNEXPECTED);
    EXPECT_EQ(properties->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                              sizeof category),
              E_PROP_ID_UNSUPPORTED);
    DWORD support = 0;
    ASSERT_EQ(properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
    EXPECT_EQ(support, KSPROPERTY_SUPPORT_GET);
}

TEST_F(CPinPropertySetTest, CountsOnThePinsFilterAndLeadsBackToThePin) {
    const ULONG base = m_filter->AddRef() - 1;
    m_filter->Release();
    ComPtr<IKsPropertySet> properties = PropertiesOf("Capture");
    EXPECT_EQ(m_filter->AddRef(), base + 2);
    m_filter->Release();

    ComPtr<IPin> pin;
    ASSERT_EQ(properties->QueryInterface(IID_IPin, pin.ReceiveVoid()), S_OK);
    EXPECT_EQ(pin.Get(), static_cast<IPin*>(m_filter->Pin("Capture")));
    ComPtr<IUnknown> fromSet;
    ComPtr<IUnknown> fromPin;
    ASSERT_EQ(properties->QueryInterface(IID_IUnknown, fromSet.ReceiveVoid()), S_OK);
    ASSERT_EQ(pin->QueryInterface(IID_IUnknown, fromPin.ReceiveVoid()), S_OK);
    EXPECT_EQ(fromSet.Get(), fromPin.Get());
    pin.Reset();
    fromSet.Reset();
    fromPin.Reset();
    properties.Reset();
    EXPECT_EQ(m_filter->AddRef(), base + 1);
    m_filter->Release();
}

}  // namespace
}  // namespace vornak
