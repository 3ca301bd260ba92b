// One run over a list of input files, the same for vornak-split and the "Scenes splitting" page:
// each input gets its file names, is refused before it is read when its files cannot be made,
// is split (or listed) by the job made for it, and hands its file numbering on to the next
// input when all of them share one name.
//
// Threading: construct and run on one thread, a worker's where a user interface waits; the stop
// byte in the job settings may be set from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "LogSink.h"
#include "SceneJob.h"
#include "SceneJobFactory.h"
#include "SceneJobNames.h"
#include "SceneSplitterSettings.h"

namespace vornak {

class SplitBatch {
  public:
    struct Options {
        // The folder every input's files go into; empty: next to each input.
        std::string outputDir;
        // One name for the files of every input instead of each input's own: the numbering then
        // goes on from one input to the next.
        std::optional<std::string> newName;
        // What every input's job is told; its base name, extension and first number are set for
        // each input. Its stop byte, if any, stops the batch too.
        SceneSplitterSettings job;
        // After a stop request the inputs still to come are not touched, and the log does not
        // pretend they were. Otherwise each of them is still started, and ends at once, stopped.
        bool skipInputsAfterStop = false;
        // Makes each input's job; empty: MakeSceneJob.
        SceneJobMaker makeJob = MakeSceneJob;
    };

    // What became of one input.
    struct Outcome {
        std::size_t index = 0;
        std::string path;
        // How its job ended; none when the input was refused before it was read.
        std::optional<SplitResult> result;
        // The sizes of this input and of every one before it: where a progress bar stands once
        // the input is done, whatever its job reported as written.
        std::uint64_t doneBytes = 0;

        bool Failed() const { return !result || IsFailure(*result); }
    };

    // Where the callers part ways. Each may be left empty; all run on the batch's thread.
    struct Hooks {
        // An input is about to be checked; `doneBytes`: the sizes of the inputs before it.
        std::function<void(std::size_t index, std::uint64_t doneBytes)> inputStarting;
        // A listing makes no scene files, so their names are not checked; this says in one
        // "ERROR: ..." line why an input cannot be listed all the same, or is empty when it can.
        std::function<std::string(const std::string& path)> listingRefusal;
        // The input passed its checks and its job runs next; `size`: its bytes, 0 if unknown.
        std::function<void(const std::string& path, std::uint64_t size)> jobStarting;
        // Which of this input's scenes are written (see SceneSplitter::SetSceneChoice); an empty
        // function, or none, writes them all.
        std::function<std::function<bool(std::int32_t)>(const std::string& path)> sceneChoice;
        // The input is done, refused or run; false ends the batch there.
        std::function<bool(const Outcome& input)> inputDone;
    };

    // `log` takes the jobs' reports and the refusals; null: silent.
    SplitBatch(Options options, Hooks hooks, LogSink* log);

    // Runs the inputs in their order. Returns after the last, or at the first that a stop or
    // the `inputDone` hook ends the batch at.
    void Run(const std::vector<std::string>& inputs);

    // The inputs of the last run that were refused or whose job failed, in their order.
    const std::vector<std::string>& FailedInputs() const { return m_failed; }

  private:
    bool StopRequested() const;
    // Why this input's files cannot be made, or empty when they can.
    std::string Refusal(const std::string& path, const SceneJobNames& names,
                        std::int32_t counter) const;

    const Options m_options;
    const Hooks m_hooks;
    LogSink* const m_pLog;
    std::vector<std::string> m_failed;
};

}  // namespace vornak
