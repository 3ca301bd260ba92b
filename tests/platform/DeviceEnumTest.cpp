// GUID text and text comparison as the device page uses them on property bag values.
#include "DeviceEnum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Guids.h"

namespace vornak {
namespace {

constexpr int kGuidTextSize = 39;

TEST(StringFromGUID2, WritesTheBracedFormWhenItFits) {
    char text[kGuidTextSize + 1];
    std::memset(text, 'x', sizeof text);
    ASSERT_EQ(StringFromGUID2(CLSID_CamcorderDeviceClass, text, kGuidTextSize), kGuidTextSize);
    EXPECT_STREQ(text, "{8C0F6AF2-0EDB-44C1-8AEB-59040BD830ED}");
    EXPECT_EQ(text[kGuidTextSize], 'x');

    char shortText[kGuidTextSize - 1];
    std::memset(shortText, 'x', sizeof shortText);
    EXPECT_EQ(StringFromGUID2(CLSID_CamcorderDeviceClass, shortText, kGuidTextSize - 1), 0);
    EXPECT_EQ(shortText[0], 'x');  // nothing written, not even a part
    EXPECT_EQ(StringFromGUID2(CLSID_CamcorderDeviceClass, nullptr, kGuidTextSize), 0);
}

TEST(VarBstrCmp, ComparesBytesWithCaseUnlessToldOtherwise) {
    EXPECT_EQ(VarBstrCmp("Sony", "Sony", LOCALE_USER_DEFAULT, 0), VARCMP_EQ);
    EXPECT_EQ(VarBstrCmp("SONY", "Sony", LOCALE_USER_DEFAULT, 0), VARCMP_LT);
    EXPECT_EQ(VarBstrCmp("sony", "Sony", LOCALE_USER_DEFAULT, 0), VARCMP_GT);
    EXPECT_EQ(VarBstrCmp("sony", "SONY", LOCALE_USER_DEFAULT, NORM_IGNORECASE), VARCMP_EQ);
    EXPECT_EQ(VarBstrCmp("Son", "Sony", LOCALE_USER_DEFAULT, 0), VARCMP_LT);
    EXPECT_EQ(VarBstrCmp("Sony", "Son", LOCALE_USER_DEFAULT, 0), VARCMP_GT);
    EXPECT_EQ(VarBstrCmp("", "", LOCALE_USER_DEFAULT, 0), VARCMP_EQ);
    // Bytes count as unsigned: a non-ASCII byte sorts after every ASCII one.
    EXPECT_EQ(VarBstrCmp("\xC3\xA9", "z", LOCALE_USER_DEFAULT, 0), VARCMP_GT);
    // Text read from a property bag holds the class GUID as StringFromGUID2 writes it.
    char text[kGuidTextSize];
    StringFromGUID2(CLSID_CamcorderDeviceClass, text, kGuidTextSize);
    EXPECT_EQ(VarBstrCmp(text, "{8c0f6af2-0edb-44c1-8aeb-59040bd830ed}", LOCALE_USER_DEFAULT, 0),
              VARCMP_LT);
}

}  // namespace
}  // namespace vornak
