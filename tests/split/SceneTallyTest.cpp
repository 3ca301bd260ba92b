// The tally files each finding by its stream position: into the scene its bytes went to, or
// nowhere when they were given up, also when the finding comes in late.
#include "SceneTally.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace vornak {
namespace {

RecordingDate Date(int second) {
    return test::MakeRecordingDate(2006, 5, 1, 14, 3, second);
}

TEST(SceneTally, FindingsGoWhereTheirBytesGo) {
    SceneTally tally;
    tally.AddPicture(100);  // before the first scene: its bytes are given up
    tally.AddDate(150, Date(1));
    tally.Settle(200, false);

    tally.Begin(0, "a.m2t");
    tally.AddPicture(200);
    tally.AddDate(210, Date(2));
    tally.AddPicture(400);
    tally.AddDate(410, Date(3));
    tally.AddPicture(600);  // beyond the cut below: the next scene's
    tally.AddBytes(200, 300);
    tally.Settle(500, true);
    const SceneSummary a = tally.End();

    tally.Begin(1, "b.m2t");
    tally.AddBytes(500, 200);
    tally.Settle(700, true);
    const SceneSummary b = tally.End();

    EXPECT_EQ(a.number, 0);
    EXPECT_EQ(a.path, "a.m2t");
    EXPECT_EQ(a.offset, 200);
    EXPECT_EQ(a.length, 300u);
    EXPECT_EQ(a.pictures, 2u);
    ASSERT_TRUE(a.firstDate && a.lastDate);
    EXPECT_EQ(a.firstDate->second, 2);
    EXPECT_EQ(a.lastDate->second, 3);
    EXPECT_EQ(b.offset, 500);
    EXPECT_EQ(b.pictures, 1u);
    EXPECT_FALSE(b.firstDate);
}

// A broken picture is only known when the next picture begins, and is filed at its own start:
// the last picture of a scene counts for that scene, also when its bytes were settled before.
TEST(SceneTally, BrokenPictureCountsWhereThePictureBegan) {
    SceneTally tally;
    tally.Begin(0, "");
    tally.AddPicture(0);
    tally.AddPicture(1000);
    tally.AddDate(1100, Date(5));
    tally.AddPicture(2000);  // next scene's first picture, after the cut at 1500
    tally.AddBroken(1000);   // found when picture 2000 began
    tally.Settle(1500, true);
    const SceneSummary a = tally.End();
    tally.Begin(1, "");
    tally.AddBroken(500);  // a late finding whose bytes already went out
    tally.Settle(2500, true);
    const SceneSummary b = tally.End();

    EXPECT_EQ(a.pictures, 2u);
    EXPECT_EQ(a.brokenPictures, 1u);
    EXPECT_EQ(a.firstDate->second, 5);
    EXPECT_EQ(b.pictures, 1u);
    // It went with the bytes settled last, into the scene open now.
    EXPECT_EQ(b.brokenPictures, 1u);
}

TEST(SceneTally, LateFindingOfGivenUpBytesIsDropped) {
    SceneTally tally;
    tally.Settle(1000, false);
    tally.Begin(0, "");
    tally.AddBroken(10);
    tally.AddBytes(-1, 50);
    tally.Settle(1200, true);
    const SceneSummary a = tally.End();
    EXPECT_EQ(a.brokenPictures, 0u);
    EXPECT_EQ(a.offset, -1);
    EXPECT_EQ(a.length, 50u);
}

// A health finding takes the place its bytes settle in: the scene, the picture counted last and
// the date seen last, with the timecode and input offset the check gave it.
TEST(SceneTally, HealthFindingsArePlacedInTheirSceneAndPicture) {
    SceneTally tally;
    tally.SetHealthChecked(true);
    tally.Begin(0, "");
    tally.AddPicture(0);
    tally.AddDate(50, Date(7));
    tally.AddPicture(1000);
    tally.AddHealth(1100, {HealthKind::PacketsLost, 3, dv::DvTimecode{0, 1, 2, 3}, 9100});
    tally.AddHealth(1200, {HealthKind::PacketsLost, 2, {}, 9200});  // same picture: one finding
    tally.AddHealth(5000, {HealthKind::NoDatePack, 1, {}, -1});     // after the cut: not this one
    tally.Settle(1500, true);
    const SceneSummary a = tally.End();

    EXPECT_TRUE(a.healthChecked);
    ASSERT_EQ(a.findings.size(), 1u);
    const HealthFinding& lost = a.findings[0];
    EXPECT_EQ(lost.kind, HealthKind::PacketsLost);
    EXPECT_EQ(lost.count, 5u);
    EXPECT_EQ(lost.first.picture, 1u);
    ASSERT_TRUE(lost.first.timecode && lost.first.date);
    EXPECT_EQ(lost.first.date->second, 7);
    EXPECT_EQ(lost.first.offset, 9100);
    EXPECT_EQ(lost.last.offset, 9200);
    EXPECT_EQ(DescribeFinding(lost), "5 packets lost at 00:01:02:03");
}

// A check may only know what it found after the bytes have gone out (a group without a date is
// known at the next group): the finding still gets the picture its position lies in.
TEST(SceneTally, HealthFindingsThatComeLateKeepTheirPicture) {
    SceneTally tally;
    tally.Begin(0, "");
    for (std::uint64_t pos = 0; pos < 5000; pos += 1000) {
        tally.AddPicture(pos);
    }
    tally.Settle(4500, true);
    tally.AddHealth(1100, {HealthKind::NoDatePack, 1, {}, 1100});
    tally.AddHealth(4200, {HealthKind::PacketsLost, 2, {}, 4200});
    const SceneSummary a = tally.End();
    ASSERT_EQ(a.findings.size(), 2u);
    EXPECT_EQ(a.findings[0].first.picture, 1u);
    EXPECT_EQ(a.findings[1].first.picture, 4u);
}

TEST(SceneHealth, FindingsOfOneKindInNeighbouringPicturesMerge) {
    const auto place = [](std::uint64_t picture, int frames) {
        HealthPlace at;
        at.picture = picture;
        at.timecode = dv::DvTimecode{1, 0, 0, frames};
        return at;
    };
    std::vector<HealthFinding> findings;
    AddFinding(findings, HealthKind::VideoError, 10, place(4, 4));
    AddFinding(findings, HealthKind::AudioError, 2, place(5, 5));
    AddFinding(findings, HealthKind::VideoError, 20, place(5, 5));  // grows the first
    AddFinding(findings, HealthKind::VideoError, 1, place(9, 9));   // a gap: a new one
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_EQ(findings[0].count, 30u);
    EXPECT_EQ(DescribeFinding(findings[0]),
              "30 video blocks in error from 01:00:00:04 to 01:00:00:05");
    EXPECT_EQ(DescribeFinding(findings[1]), "2 audio error samples at 01:00:00:05");
    HealthFinding noTimecode{HealthKind::BrokenPicture, 1, {}, {}};
    noTimecode.first.picture = noTimecode.last.picture = 120;
    EXPECT_EQ(DescribeFinding(noTimecode), "1 broken picture at picture 120");
    EXPECT_STREQ(HealthKindName(HealthKind::DateJump), "rdt_nc");
}

}  // namespace
}  // namespace vornak
