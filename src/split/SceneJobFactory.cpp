#include "SceneJobFactory.h"

#include <span>
#include <utility>
#include <vector>

#include "DvFrameReader.h"
#include "DvSceneSplitter.h"
#include "InputFile.h"
#include "LiveDvByteSource.h"
#include "SceneSplitter.h"

namespace vornak {

TapeFormat ProbeTapeFormat(const std::string& inputPath) {
    InputFile input;
    if (input.Open(inputPath) != InputFile::OpenResult::Opened) {
        return TapeFormat::kTransportStream;
    }
    // One whole frame of the larger system is enough for the frame reader to tell a frame,
    // whole or cut short, from bytes that begin none.
    std::vector<std::uint8_t> head(dv::DvFrameReader::kMinBuffer);
    std::size_t got = 0;
    const InputFile::Status status = input.Read(head.data(), head.size(), got);
    if (status == InputFile::Status::Error || got == 0) {
        return TapeFormat::kTransportStream;
    }
    dv::DvFrameReader reader;
    dv::DvPiece piece;
    const bool atEnd = status == InputFile::Status::EndOfFile;
    if (reader.Next(std::span(head).first(got), atEnd, piece) &&
        piece.kind != dv::DvPieceKind::kGarbage) {
        return TapeFormat::kDv;
    }
    return TapeFormat::kTransportStream;
}

std::unique_ptr<SceneJob> MakeSceneJob(const std::string& inputPath,
                                       const SceneSplitterSettings& settings, LogSink* log,
                                       std::function<bool(std::int32_t)> chooseScene) {
    // The batch that runs the jobs, the names, the refusals and the listings are the same for
    // every format; only the job differs.
    if (ProbeTapeFormat(inputPath) == TapeFormat::kDv) {
        SceneSplitterSettings dvSettings = settings;
        dvSettings.extension = DvSceneSplitter::kExtension;
        auto job = std::make_unique<DvSceneSplitter>(inputPath, std::move(dvSettings));
        job->SetLog(log);
        job->SetSceneChoice(std::move(chooseScene));
        return job;
    }
    auto job = std::make_unique<SceneSplitter>(inputPath, settings);
    job->SetLog(log);
    job->SetSceneChoice(std::move(chooseScene));
    return job;
}

std::unique_ptr<SceneJob> MakeLiveSceneJob(LiveSource* source, ChunkKind kind,
                                           const SceneSplitterSettings& settings, LogSink* log,
                                           DiskSync* sync) {
    DiskSync* const disk = sync != nullptr ? sync : &DiskSync::System();
    if (kind == ChunkKind::Dv) {
        SceneSplitterSettings dvSettings = settings;
        dvSettings.extension = DvSceneSplitter::kExtension;
        // What its messages call the live stream.
        auto job = std::make_unique<DvSceneSplitter>(settings.baseName, std::move(dvSettings));
        job->SetByteSource(std::make_unique<LiveDvByteSource>(source));
        job->SetLog(log);
        job->SetDiskSync(disk);
        return job;
    }
    auto job = std::make_unique<SceneSplitter>(source, settings);
    job->SetLog(log);
    job->SetDiskSync(disk);
    return job;
}

}  // namespace vornak
