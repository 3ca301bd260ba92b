// What the batch decides between inputs: the numbering carried on under one shared name, an
// input refused or failed while the rest are still split, each input's own scene choice, and
// how a stop or the caller ends the batch. Each case records the hooks' calls and the log's
// problem lines in the order they came, with the progress each hook was given.
#include "SplitBatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "InputFile.h"
#include "TapeDates.h"
#include "TestSupport.h"

namespace vornak {
namespace {

// Longer than any file name may be once a scene number is added to it.
const std::string kLong(250, 'x');
constexpr const char* kTooLong = "(File name too long)";

struct Case {
    const char* name;
    // Input names in the input folder; "missing.m2t" is not there, every other one is a
    // three-scene tape.
    std::vector<std::string> inputs = {};
    std::optional<std::string> newName = std::nullopt;
    bool listOnly = false;
    bool skipInputsAfterStop = false;
    int stopAfter = -1;  // the input after which the stop byte is set
    int endAfter = -1;   // the input after which the caller ends the batch
    // Scenes to write, by input; the others write all of theirs.
    std::map<std::string, std::set<std::int32_t>> chosen = {};
    std::string listingRefused = {};  // the input a listing's own check refuses
    std::vector<std::string> files = {};
    std::vector<std::string> failed = {};
    // The hooks' calls and the log's problem lines, in order; progress in bytes.
    std::vector<std::string> events = {};
};

constexpr const char* kResultNames[] = {"Completed", "Stopped",      "InputFailed",
                                        "NoStream",  "CreateFailed", "WriteFailed"};

void RunCase(const Case& c) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string in = dir.File("in");
    const std::string out = dir.File("out");
    std::filesystem::create_directory(in);
    std::filesystem::create_directory(out);
    std::vector<std::string> paths;
    for (const std::string& name : c.inputs) {
        paths.push_back(in + "/" + name);
        if (name != "missing.m2t") {
            ASSERT_TRUE(test::WriteThreeSceneTape(paths.back()));
        }
    }

    StopFlag stop{0};
    test::CapturingLog log;
    // The hooks' calls and the log's problem lines, in the order they came, with paths relative
    // to the scratch folder.
    std::vector<std::string> events;
    const auto add = [&](std::string text) {
        for (std::size_t at; (at = text.find(dir.Path() + "/")) != std::string::npos;) {
            text.erase(at, dir.Path().size() + 1);
        }
        events.push_back(std::move(text));
    };
    std::size_t linesSeen = 0;
    const auto note = [&](const std::string& event) {
        const std::vector<std::string> lines = log.Lines();
        for (; linesSeen < lines.size(); ++linesSeen) {
            const std::string line = lines[linesSeen].substr(
                std::min(lines[linesSeen].find_first_not_of("\r\n"), lines[linesSeen].size()));
            if (line.starts_with("Processing file: ") || line.starts_with("ERROR: ") ||
                line.starts_with("WARNING: ")) {
                add(line);
            }
        }
        if (!event.empty()) {
            add(event);
        }
    };
    SplitBatch::Options options;
    options.outputDir = out;
    options.newName = c.newName;
    options.job.stopFlag = &stop;
    options.job.dateTimeNaming = false;
    options.job.listOnly = c.listOnly;
    options.skipInputsAfterStop = c.skipInputsAfterStop;
    SplitBatch::Hooks hooks;
    hooks.inputStarting = [&](std::size_t index, std::uint64_t doneBytes) {
        note("start in/" + c.inputs[index] + " at " + std::to_string(doneBytes));
    };
    hooks.listingRefusal = [&](const std::string& path) {
        return path == in + "/" + c.listingRefused ? "ERROR: no pictures for " + path
                                                   : std::string();
    };
    hooks.jobStarting = [&](const std::string& path, std::uint64_t size) {
        note("job " + path + " of " + std::to_string(size));
    };
    hooks.sceneChoice = [&](const std::string& path) -> std::function<bool(std::int32_t)> {
        const auto chosen = c.chosen.find(std::filesystem::path(path).filename().string());
        if (chosen == c.chosen.end()) {
            return nullptr;
        }
        return [&set = chosen->second](std::int32_t number) { return set.count(number) > 0; };
    };
    hooks.inputDone = [&](const SplitBatch::Outcome& input) {
        EXPECT_EQ(input.path, paths[input.index]);
        note("done " + input.path + " " +
             (input.result ? kResultNames[static_cast<int>(*input.result)] : "refused") + " at " +
             std::to_string(input.doneBytes));
        if (static_cast<int>(input.index) == c.stopAfter) {
            stop = 1;
        }
        return static_cast<int>(input.index) != c.endAfter;
    };
    SplitBatch batch(options, hooks, &log);
    batch.Run(paths);

    EXPECT_EQ(test::ListFiles(out), c.files);
    std::vector<std::string> failed;
    for (const std::string& path : batch.FailedInputs()) {
        failed.push_back(path.substr(in.size() + 1));
    }
    EXPECT_EQ(failed, c.failed);
    note({});
    EXPECT_EQ(events, c.events);
}

std::vector<std::string> Numbered(const std::string& base, std::vector<int> numbers) {
    std::vector<std::string> names;
    for (int n : numbers) {
        std::string digits = std::to_string(n);
        names.push_back(base + "-" + std::string(4 - digits.size(), '0') + digits + ".m2t");
    }
    return names;
}

TEST(SplitBatch, DecidesBetweenInputs) {
    // Every tape is the same size; the progress is counted in tapes.
    test::TempDir scratch;
    ASSERT_TRUE(test::WriteThreeSceneTape(scratch.File("t.m2t")));
    const std::int64_t tapeBytes = InputFile::SizeOf(scratch.File("t.m2t"));
    ASSERT_GT(tapeBytes, 0);
    const auto T = [tapeBytes](int n) { return std::to_string(n * tapeBytes); };
    const auto ran = [&](const std::string& name, int before, const std::string& result,
                         int after) {
        return std::vector<std::string>{
            "start in/" + name + " at " + T(before), "job in/" + name + " of " + T(1),
            "Processing file: in/" + name, "done in/" + name + " " + result + " at " + T(after)};
    };
    const auto join = [](std::vector<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& part : parts) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    };
    const std::string longName = kLong + ".m2t";

    const std::vector<Case> cases = {
        {.name = "each own name counts from zero",
         .inputs = {"a.m2t", "b.m2t"},
         .files = join({Numbered("a", {0, 1, 2}), Numbered("b", {0, 1, 2})}),
         .events = join({ran("a.m2t", 0, "Completed", 1), ran("b.m2t", 1, "Completed", 2)})},
        {.name = "a shared name counts on across inputs",
         .inputs = {"a.m2t", "b.m2t"},
         .newName = "trip",
         .files = Numbered("trip", {0, 1, 2, 3, 4, 5}),
         .events = join({ran("a.m2t", 0, "Completed", 1), ran("b.m2t", 1, "Completed", 2)})},
        {.name = "a refused input is skipped with its reason and the rest still split",
         .inputs = {longName, "a.m2t"},
         .files = Numbered("a", {0, 1, 2}),
         .failed = {longName},
         .events =
             join({{"start in/" + longName + " at 0",
                    "ERROR: This file name is too long: out/" + kLong + "-0000.m2t " + kTooLong,
                    "done in/" + longName + " refused at " + T(1)},
                   ran("a.m2t", 1, "Completed", 2)})},
        {.name = "an input that fails uses up no number of a shared name",
         .inputs = {"a.m2t", "missing.m2t", "b.m2t"},
         .newName = "trip",
         .files = Numbered("trip", {0, 1, 2, 3, 4, 5}),
         .failed = {"missing.m2t"},
         .events = join({ran("a.m2t", 0, "Completed", 1),
                         {"start in/missing.m2t at " + T(1), "job in/missing.m2t of 0",
                          "WARNING: Can't open file: in/missing.m2t",
                          "done in/missing.m2t InputFailed at " + T(1)},
                         ran("b.m2t", 1, "Completed", 2)})},
        {.name = "each input writes its own choice, numbered as a full split numbers it",
         .inputs = {"a.m2t", "b.m2t", "c.m2t"},
         .newName = "trip",
         .chosen = {{"a.m2t", {1}}, {"c.m2t", {0, 2}}},
         .files = Numbered("trip", {1, 3, 4, 5, 6, 8}),
         .events = join({ran("a.m2t", 0, "Completed", 1), ran("b.m2t", 1, "Completed", 2),
                         ran("c.m2t", 2, "Completed", 3)})},
        {.name = "a stop leaves the inputs still to come untouched",
         .inputs = {"a.m2t", "b.m2t", "c.m2t"},
         .skipInputsAfterStop = true,
         .stopAfter = 0,
         .files = Numbered("a", {0, 1, 2}),
         .events = ran("a.m2t", 0, "Completed", 1)},
        {.name = "a stop still starts every input, which ends at once",
         .inputs = {"a.m2t", "b.m2t", "c.m2t"},
         .stopAfter = 0,
         .files = Numbered("a", {0, 1, 2}),
         .events = join({ran("a.m2t", 0, "Completed", 1), ran("b.m2t", 1, "Stopped", 2),
                         ran("c.m2t", 2, "Stopped", 3)})},
        {.name = "the caller ends the batch after an input",
         .inputs = {"a.m2t", "b.m2t"},
         .endAfter = 0,
         .files = Numbered("a", {0, 1, 2}),
         .events = ran("a.m2t", 0, "Completed", 1)},
        {.name = "a listing checks its own names, not those of scene files, and writes none",
         .inputs = {longName, "b.m2t", "a.m2t"},
         .listOnly = true,
         .listingRefused = "b.m2t",
         .files = {},
         .failed = {"b.m2t"},
         .events = join({ran(longName, 0, "Completed", 1),
                         {"start in/b.m2t at " + T(1), "ERROR: no pictures for in/b.m2t",
                          "done in/b.m2t refused at " + T(2)},
                         ran("a.m2t", 2, "Completed", 3)})},
    };
    for (const Case& c : cases) {
        RunCase(c);
    }
}

// A job that only says how it was made and ends as it is told.
class RecordedJob : public SceneJob {
  public:
    RecordedJob(SplitResult result, std::int32_t counter) : m_result(result), m_counter(counter) {}
    void Run() override {}
    SplitResult Result() const override { return m_result; }
    std::int32_t Counter() const override { return m_counter; }

  private:
    SplitResult m_result;
    std::int32_t m_counter;
};

// Every input's job comes from the maker the batch is given, with that input's names, number
// and scene choice; the jobs' numbers and failures go on as those of the batch's own jobs.
TEST(SplitBatch, MakesEachJobWithTheMakerItIsGiven) {
    test::TempDir dir;
    std::vector<std::string> inputs;
    for (const char* name : {"a.avi", "b.mov"}) {
        inputs.push_back(dir.File(name));
        test::WriteText(inputs.back(), "x");
    }
    std::vector<std::string> made;
    SplitBatch::Options options;
    options.newName = dir.File("trip");
    options.job.firstCounter = 3;
    options.makeJob = [&](const std::string& path, const SceneSplitterSettings& settings, LogSink*,
                          std::function<bool(std::int32_t)> choose) {
        made.push_back(path + " " + settings.baseName + "." + settings.extension + " " +
                       std::to_string(settings.firstCounter) + " " +
                       (choose && choose(1) ? "choose" : "all"));
        return std::make_unique<RecordedJob>(
            made.size() == 1 ? SplitResult::Completed : SplitResult::NoStream,
            settings.firstCounter + 2);
    };
    SplitBatch::Hooks hooks;
    hooks.sceneChoice = [&](const std::string& path) -> std::function<bool(std::int32_t)> {
        if (path != inputs[1]) {
            return nullptr;
        }
        return [](std::int32_t) { return true; };
    };
    SplitBatch batch(std::move(options), std::move(hooks), nullptr);
    batch.Run(inputs);
    EXPECT_EQ(made,
              (std::vector<std::string>{inputs[0] + " " + dir.File("trip") + ".avi 3 all",
                                        inputs[1] + " " + dir.File("trip") + ".mov 5 choose"}));
    EXPECT_EQ(batch.FailedInputs(), (std::vector<std::string>{inputs[1]}));
}

}  // namespace
}  // namespace vornak
