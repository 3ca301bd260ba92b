// Makes the job that splits (or lists) one input file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "DiskSync.h"
#include "LiveSource.h"
#include "LogSink.h"
#include "SampleChunk.h"
#include "SceneJob.h"
#include "SceneSplitterSettings.h"

namespace vornak {

enum class TapeFormat : std::uint8_t {
    kTransportStream,  // HDV, or anything that is no DV: its job says what is wrong with it
    kDv,               // raw DV (DIF) frames
};

// What the input holds, told by its first bytes: DV when they begin a DV frame. An input that
// cannot be opened or read is left to the transport-stream job, which says why.
TapeFormat ProbeTapeFormat(const std::string& inputPath);

// The job for the input at `inputPath`, reporting to `log` (null: silent) and writing only the
// scenes `chooseScene` takes (empty: all of them); see SceneSplitter::SetSceneChoice. DV scene
// files get the extension "dv", whatever the input is called.
std::unique_ptr<SceneJob> MakeSceneJob(const std::string& inputPath,
                                       const SceneSplitterSettings& settings, LogSink* log,
                                       std::function<bool(std::int32_t)> chooseScene);

// The job for one stretch of a live capture: `source` (which must outlive the job) hands out
// its chunks, all of `kind`. DV scene files get the extension "dv", the others the settings'.
// Scene files and their folder are flushed to `sync`, or to the system's disk when it is null.
std::unique_ptr<SceneJob> MakeLiveSceneJob(LiveSource* source, ChunkKind kind,
                                           const SceneSplitterSettings& settings, LogSink* log,
                                           DiskSync* sync);

// What makes an input's job, with MakeSceneJob's arguments: the engine's own reads transport
// streams and raw DV; a caller that links more formats passes its own.
using SceneJobMaker = std::function<std::unique_ptr<SceneJob>(
    const std::string& inputPath, const SceneSplitterSettings& settings, LogSink* log,
    std::function<bool(std::int32_t)> chooseScene)>;

}  // namespace vornak
