// Media types: deep copies of format blocks, the reference on pUnk, task-memory types.
#include "MediaType.h"

#include <gtest/gtest.h>

#include <cstring>

#include "Guids.h"

namespace vornak {
namespace {

constexpr std::uint8_t kFormat[] = {9, 8, 7, 6};

// Counts its references; never deletes itself.
class Counted final : public IUnknown {
  public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG AddRef() override { return static_cast<ULONG>(++count); }
    ULONG Release() override { return static_cast<ULONG>(--count); }
    int count = 1;
};

TEST(MediaType, CopiesAreDeepAndFreeOnlyTheirOwnBlock) {
    CMediaType original(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    ASSERT_TRUE(original.SetFormat(kFormat, sizeof kFormat));
    {
        CMediaType copy(original);
        ASSERT_EQ(copy.cbFormat, sizeof kFormat);
        EXPECT_NE(copy.pbFormat, original.pbFormat);
        EXPECT_EQ(std::memcmp(copy.pbFormat, kFormat, sizeof kFormat), 0);
        copy.pbFormat[0] = 0;
        EXPECT_EQ(original.pbFormat[0], 9);
    }
    CMediaType assigned;
    assigned = original;
    EXPECT_EQ(assigned.subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    assigned = assigned;  // self-assignment keeps the block
    ASSERT_NE(assigned.pbFormat, nullptr);
    EXPECT_EQ(assigned.pbFormat[3], 6);
}

TEST(MediaType, CopyingHoldsAReferenceOnTheAttachedObject) {
    Counted object;
    AM_MEDIA_TYPE source;
    source.pUnk = &object;
    AM_MEDIA_TYPE copy;
    ASSERT_EQ(CopyMediaType(&copy, &source), S_OK);
    EXPECT_EQ(object.count, 2);
    FreeMediaType(copy);
    EXPECT_EQ(object.count, 1);
    EXPECT_EQ(copy.pUnk, nullptr);
}

TEST(MediaType, TaskMemoryTypesCarryTheirFormatAndReadAsVideoInfo) {
    CMediaType video(MEDIATYPE_Video);
    VIDEOINFOHEADER info;
    info.bmiHeader.biWidth = 1440;
    info.bmiHeader.biHeight = 1080;
    ASSERT_TRUE(video.SetFormat(reinterpret_cast<const std::uint8_t*>(&info), sizeof info));
    AM_MEDIA_TYPE* copy = CreateMediaType(&video);
    ASSERT_NE(copy, nullptr);
    VIDEOINFOHEADER read;
    ASSERT_TRUE(ReadVideoInfo(*copy, read));
    EXPECT_EQ(read.bmiHeader.biWidth, 1440);
    EXPECT_EQ(read.bmiHeader.biHeight, 1080);
    DeleteMediaType(copy);
    DeleteMediaType(nullptr);

    CMediaType shortBlock(MEDIATYPE_Video);
    ASSERT_TRUE(shortBlock.SetFormat(kFormat, sizeof kFormat));
    EXPECT_FALSE(ReadVideoInfo(shortBlock, read));
}

TEST(Guid, PrintsInRegistryForm) {
    EXPECT_EQ(GuidToString(MEDIATYPE_Stream), "{E436EB83-524F-11CE-9F53-0020AF0BA770}");
    EXPECT_EQ(GuidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
}

}  // namespace
}  // namespace vornak
