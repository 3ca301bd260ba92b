#include "ThumbnailWorker.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "ColourTape.h"
#include "DvColourClip.h"
#include "SceneSplitter.h"
#include "TestSupport.h"

namespace vornak {
namespace {

// The listing hands each scene over as it finishes it, on its own thread, and the pictures
// come back in the listing's order.
TEST(ThumbnailWorker, MakesThePicturesWhileTheListingRunsInItsOrder) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable tape";
    }
    test::TempDir dir;
    const std::vector<test::Colour> colours = {{220, 30, 30}, {30, 200, 40}, {40, 40, 220}};
    const std::string tape = dir.File("tape.m2t");
    ASSERT_EQ(test::WriteColourTape(tape, {{colours[0]}, {colours[1]}, {colours[2]}}), "");

    std::mutex mutex;
    std::vector<ThumbnailWorker::Result> results;
    ThumbnailWorker worker(tape, [&](ThumbnailWorker::Result& result) {
        const std::lock_guard<std::mutex> lock(mutex);
        results.push_back(std::move(result));
    });
    struct Forward : LogSink {
        ThumbnailWorker* worker = nullptr;
        void AddLog(LogSeverity, const std::string&) override {}
        void SceneFinished(const SceneSummary& scene) override { worker->Add(scene); }
    } forward;
    forward.worker = &worker;
    SceneSplitter job(
        tape, {.baseName = "unused", .extension = "m2t", .dateFormat = "", .listOnly = true});
    job.SetLog(&forward);
    job.Run();
    worker.Finish();

    ASSERT_EQ(results.size(), colours.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].scene.number, static_cast<int>(i));
        ASSERT_EQ(results[i].status, SceneThumbnailer::Status::Made) << i;
        EXPECT_TRUE(test::Near(test::CentreColour(results[i].image), colours[i])) << i;
    }
}

// A DV input's scenes are found by their offsets in its bytes and shown at their own aspect
// ratio.
TEST(ThumbnailWorker, MakesTheDvScenesPicturesFromTheirOffsets) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no DV clip";
    }
    test::TempDir dir;
    const std::vector<test::DvClip> clips = {
        {{220, 30, 30}, dv::DvSystem::k625_50, "4:3", 2},
        {{40, 40, 220}, dv::DvSystem::k625_50, "16:9", 3},
    };
    std::vector<std::uint8_t> tape;
    std::vector<SceneSummary> scenes;
    for (const test::DvClip& clip : clips) {
        const auto frames = test::MakeDvClip(dir.File("clip.dv"), clip);
        ASSERT_FALSE(frames.empty());
        SceneSummary& scene = scenes.emplace_back();
        scene.number = static_cast<std::int32_t>(scenes.size() - 1);
        scene.offset = static_cast<std::int64_t>(tape.size());
        scene.length = frames.size();
        tape.insert(tape.end(), frames.begin(), frames.end());
    }
    const std::string path = dir.File("tape.dv");
    test::WriteAll(path, tape);

    std::vector<ThumbnailWorker::Result> results;
    ThumbnailWorker worker(
        path, [&](ThumbnailWorker::Result& result) { results.push_back(std::move(result)); },
        ThumbnailWorker::Format::Dv);
    for (const SceneSummary& scene : scenes) {
        worker.Add(scene);
    }
    worker.Finish();

    ASSERT_EQ(results.size(), clips.size());
    for (std::size_t i = 0; i < clips.size(); ++i) {
        SCOPED_TRACE("scene " + std::to_string(i));
        EXPECT_EQ(results[i].scene.number, static_cast<int>(i));
        ASSERT_EQ(results[i].status, SceneThumbnailer::Status::Made);
        EXPECT_EQ(results[i].image.width, 320);
        EXPECT_EQ(results[i].image.height, std::string(clips[i].aspect) == "4:3" ? 240 : 180);
        EXPECT_TRUE(test::Near(test::CentreColour(results[i].image), clips[i].colour));
    }
}

TEST(ThumbnailWorker, DropFromAnyThreadEndsTheQueueAndSceneWithoutPlaceGetsNone) {
    test::TempDir dir;
    std::vector<ThumbnailWorker::Result> results;
    std::mutex mutex;
    {
        ThumbnailWorker worker(dir.File("missing.m2t"), [&](ThumbnailWorker::Result& result) {
            const std::lock_guard<std::mutex> lock(mutex);
            results.push_back(result);
        });
        SceneSummary placeless;
        placeless.offset = -1;
        worker.Add(placeless);
        worker.Finish();
        worker.Add(SceneSummary{});  // after the end: ignored
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].status, SceneThumbnailer::Status::NoPicture);

    // The first scene is held in hand until another thread has dropped the queue, as the scene
    // view does when another tape is chosen: that scene comes out, no other.
    results.clear();
    std::condition_variable cv;
    bool inHand = false;
    bool dropped = false;
    {
        ThumbnailWorker worker(dir.File("missing.m2t"), [&](ThumbnailWorker::Result& result) {
            std::unique_lock<std::mutex> lock(mutex);
            inHand = true;
            cv.notify_all();
            cv.wait(lock, [&] { return dropped; });
            results.push_back(result);
        });
        SceneSummary scene;
        scene.offset = 0;
        for (int i = 0; i < 1000; ++i) {
            scene.number = i;
            worker.Add(scene);
        }
        std::thread([&] {
            {
                std::unique_lock<std::mutex> lock(mutex);
                cv.wait(lock, [&] { return inHand; });
            }
            worker.Drop();
            const std::lock_guard<std::mutex> lock(mutex);
            dropped = true;
            cv.notify_all();
        }).join();
        worker.Add(scene);  // after the drop: ignored
        worker.Finish();
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].scene.number, 0);
    EXPECT_EQ(results[0].status, SceneThumbnailer::Status::CannotOpen);
}

}  // namespace
}  // namespace vornak
