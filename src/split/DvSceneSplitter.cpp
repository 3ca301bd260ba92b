#include "DvSceneSplitter.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "DvFirstDate.h"
#include "DvFrameParser.h"

namespace vornak {

namespace {

constexpr double kFramesPerSecond625 = 25.0;
constexpr double kFramesPerSecond525 = 30000.0 / 1001.0;

const char* SystemText(dv::DvSystem system) {
    return system == dv::DvSystem::k625_50 ? "625/50" : "525/60";
}

const char* AspectText(dv::DvAspect aspect) {
    switch (aspect) {
        case dv::DvAspect::k4x3:
            return "4:3";
        case dv::DvAspect::k16x9:
            return "16:9";
        case dv::DvAspect::kUnknown:
            break;
    }
    return "";
}

}  // namespace

DvSceneSplitter::DvSceneSplitter(std::string inputPath, SceneSplitterSettings settings)
    : m_inputPath(std::move(inputPath)),
      m_pStopFlag(settings.stopFlag),
      m_bListOnly(settings.listOnly),
      m_bHealthCheck(settings.healthCheck),
      m_output({std::move(settings.baseName), std::move(settings.extension),
                std::move(settings.dateFormat), settings.dateTimeNaming, settings.firstCounter}) {
    m_output.SetFile(m_pOutFile.get());
    if (m_pStopFlag == nullptr) {
        m_ownStopFlag = std::make_unique<StopFlag>(0);
        m_pStopFlag = m_ownStopFlag.get();
    }
}

DvSceneSplitter::~DvSceneSplitter() = default;

void DvSceneSplitter::SetDiskSync(DiskSync* sync) {
    m_pDiskSync = sync != nullptr ? sync : &DiskSync::System();
    m_pOutFile->SetDiskSync(m_pDiskSync);
    m_output.SetDiskSync(m_pDiskSync);
}

void DvSceneSplitter::SetByteSource(std::unique_ptr<DvByteSource> source) {
    if (source != nullptr) {
        m_pSource = std::move(source);
    }
}

void DvSceneSplitter::SetSceneFile(std::unique_ptr<DvSceneFile> file) {
    if (file != nullptr) {
        m_pOutFile = std::move(file);
        m_pOutFile->SetDiskSync(m_pDiskSync);
        m_output.SetFile(m_pOutFile.get());
    }
}

void DvSceneSplitter::Log(const std::string& line) const {
    Log(LogSeverity::Info, line);
}

void DvSceneSplitter::Log(LogSeverity severity, const std::string& line) const {
    if (m_pLog != nullptr) {
        m_pLog->AddLog(severity, line);
    }
}

void DvSceneSplitter::Fail(SplitResult failure) {
    if (m_failure == SplitResult::Completed) {
        m_failure = failure;
    }
}

// Room for a scene held back for its date, what the frame reader has not handed out yet (less
// than a frame), and one read.
std::size_t DvSceneSplitter::BufferSize() const {
    return kHoldSize + dv::kMaxFrameSize + m_nReadSize;
}

bool DvSceneSplitter::OpenInput() {
    switch (m_pSource->Open(m_inputPath)) {
        case InputFile::OpenResult::Opened:
            if (m_pSource->IsFile()) {
                Log("\r\nProcessing file: " + m_inputPath);
            }
            return true;
        case InputFile::OpenResult::CannotOpen:
            if (const std::string why = m_pSource->Error(); !why.empty()) {
                // A container that opened but gives no DV frames.
                Log(LogSeverity::Error, "\r\nERROR: " + why);
            } else {
                Log(LogSeverity::Warning, "\r\nWARNING: Can't open file: " + m_inputPath);
            }
            break;
        case InputFile::OpenResult::NotRegular:
            // A FIFO, a device or a folder: no tape, and reading one may never end.
            Log(LogSeverity::Error, "\r\nERROR: This is not a regular file: " + m_inputPath);
            break;
    }
    m_result = SplitResult::InputFailed;
    return false;
}

void DvSceneSplitter::Run() {
    m_result = m_failure = SplitResult::Completed;
    m_bAbort = m_bEof = m_bSceneStarted = m_bListSceneOpen = false;
    m_output.BeginRun();
    m_nFill = m_nUsed = m_nPend = 0;
    m_nBufBase = 0;
    m_nScenes = 0;
    m_nNotWrittenBack = 0;
    m_reader = dv::DvFrameReader{};
    m_rule = dv::DvSceneRule{};
    m_sceneDate.reset();
    m_scene = SceneSummary{};
    if (!OpenInput()) {
        return;
    }
    m_pBuf = std::make_unique_for_overwrite<std::uint8_t[]>(BufferSize());

    while (!StopRequested()) {
        dv::DvPiece piece;
        const std::span<const std::uint8_t> unhanded(m_pBuf.get() + m_nUsed, m_nFill - m_nUsed);
        if (m_reader.Next(unhanded, m_bEof, piece)) {
            m_nUsed += piece.bytes.size();
            TakePiece(piece);
            // Counted in bytes handed out, so that where reads end changes no name.
            if (Holding() && m_nUsed - m_nPend > kHoldSize) {
                StopHolding();
            }
        } else if (m_bEof) {
            break;  // every byte is handed out
        } else {
            Refill();
        }
    }

    const bool stopped = m_pStopFlag->load(std::memory_order_relaxed) != 0;
    if (!StopRequested() && m_bSceneStarted) {
        // The end of the input ends the last scene, dated or not.
        if (!SceneOpen()) {
            OpenSceneFile();
        }
        WriteUpTo(m_nUsed);
    }
    m_pSource->Close();
    if (stopped) {
        RemoveEmptyStoppedFile();
    }
    CloseOutFile();
    SyncOutputFolder();
    m_pBuf.reset();

    if (!m_bSceneStarted && !stopped && m_failure == SplitResult::Completed) {
        Log(LogSeverity::Error, "ERROR: No DV frame was found in " + m_inputPath);
        Fail(SplitResult::NoStream);
    }
    if (m_failure != SplitResult::Completed) {
        m_result = m_failure;
    } else if (stopped) {
        m_result = SplitResult::Stopped;
    }
}

// Without a frame so far the input is no DV tape; else the scene's file is named without the
// date that has not come.
void DvSceneSplitter::StopHolding() {
    if (!m_bSceneStarted) {
        m_bAbort = true;
    } else {
        OpenSceneFile();
    }
}

void DvSceneSplitter::Refill() {
    // Only a piece larger than the buffer's spare room (bytes that begin no frame) can leave a
    // held scene without room for the next read.
    if (Holding() && (m_nFill - m_nPend) + m_nReadSize > BufferSize()) {
        StopHolding();
    }
    if (SceneOpen()) {
        WriteUpTo(m_nUsed);
    }
    if (m_bAbort) {
        return;
    }
    // Everything before the first unwritten byte is gone; a held scene stays whole.
    const std::size_t keepFrom = m_nPend;
    const std::size_t keep = m_nFill - keepFrom;
    if (keepFrom > 0 && keep > 0) {
        std::memmove(m_pBuf.get(), m_pBuf.get() + keepFrom, keep);
    }
    m_nBufBase += keepFrom;
    m_nUsed -= keepFrom;
    m_nPend = 0;
    m_nFill = keep;

    const std::size_t want = std::min(m_nReadSize, BufferSize() - m_nFill);
    std::size_t got = 0;
    switch (m_pSource->Read(m_pBuf.get() + m_nFill, want, got)) {
        case InputFile::Status::Ok:
            break;
        case InputFile::Status::EndOfFile:
            m_bEof = true;
            break;
        case InputFile::Status::Error:
            // Retrying a failing disk forever would hang the job; end the input here and keep
            // what was read.
            Log(LogSeverity::Error, "ERROR: This file can't be read to its end: " + m_inputPath);
            Fail(SplitResult::InputFailed);
            m_bEof = true;
            break;
    }
    m_nFill += got;
}

void DvSceneSplitter::TakePiece(const dv::DvPiece& piece) {
    switch (piece.kind) {
        case dv::DvPieceKind::kFrame:
            TakeFrame(piece);
            break;
        case dv::DvPieceKind::kPartial:
            // A frame cut short is DV too: it opens the first scene, or stays in the one it is in.
            if (!m_bSceneStarted) {
                StartScene();
            }
            if (m_bHealthCheck) {
                CheckCutShort(piece);
            }
            ++m_scene.brokenPictures;
            if (m_pLog != nullptr) {
                m_pLog->AddDropped(1);
            }
            break;
        case dv::DvPieceKind::kGarbage:
            break;  // kept in the scene it falls in; before the first frame, in the first
    }
}

void DvSceneSplitter::TakeFrame(const dv::DvPiece& piece) {
    if (!dv::DvFrameParser::Parse(piece.bytes, m_frame)) {
        return;  // the reader hands out only frames that begin with a header block
    }
    const dv::DvCut cut = m_rule.Next(m_frame);
    if (!m_bSceneStarted) {
        StartScene();
    } else if (cut != dv::DvCut::kNone && cut != dv::DvCut::kFirstFrame) {
        // The scene before the cut gets its file now, named as well as it can be, so that the
        // log names it before the change, as it came first.
        if (!SceneOpen()) {
            OpenSceneFile();
        }
        Log("Scene change detected.");
        WriteUpTo(m_nUsed - piece.bytes.size());
        CloseOutFile();
        StartScene();
    }
    if (m_bHealthCheck) {
        m_health.Frame(m_frame, m_pSource->FileOffsetOf(piece.offset), m_scene);
    }
    CountFrame(m_frame);
    if (!SceneOpen() && !m_bAbort && (m_sceneDate || !m_output.DateTimeNaming() || m_bListOnly)) {
        OpenSceneFile();
    }
}

void DvSceneSplitter::StartScene() {
    m_bSceneStarted = true;
    m_sceneDate.reset();
    m_scene = SceneSummary{};
    m_scene.offset = m_pSource->FileOffsetOf(m_nBufBase + m_nPend);
    m_scene.format = "DV";
    m_scene.healthChecked = m_bHealthCheck;
    m_health.StartScene();
}

// What the whole sequences of a frame cut short still say places it on the tape.
void DvSceneSplitter::CheckCutShort(const dv::DvPiece& piece) {
    dv::DvFrameInfo frame;
    const bool read = dv::DvFrameParser::Parse(piece.bytes, frame);
    m_health.CutShort(read ? &frame : nullptr, m_pSource->FileOffsetOf(piece.offset), m_scene);
}

void DvSceneSplitter::CountFrame(const dv::DvFrameInfo& frame) {
    SceneSummary& scene = m_scene;
    if (scene.frames == 0) {
        scene.system = SystemText(frame.system);
        scene.picturesPerSecond =
            frame.system == dv::DvSystem::k625_50 ? kFramesPerSecond625 : kFramesPerSecond525;
    }
    ++scene.frames;
    ++scene.pictures;
    if (scene.aspect.empty()) {
        scene.aspect = AspectText(frame.aspect);
    }
    if (frame.recorded) {
        const RecordingDate date = ToRecordingDate(*frame.recorded);
        if (!scene.firstDate) {
            scene.firstDate = date;
            m_sceneDate = date;
        }
        scene.lastDate = date;
    }
    if (frame.timecode) {
        const std::string tc = TimecodeText(*frame.timecode);
        if (scene.firstTimecode.empty()) {
            scene.firstTimecode = tc;
        }
        scene.lastTimecode = tc;
    }
    if (frame.videoBlocksInError > 0 || frame.videoBlocksConcealed > 0) {
        ++scene.damagedVideoFrames;
    }
    if (frame.audioErrorSamples > 0) {
        ++scene.damagedAudioFrames;
    }
}

void DvSceneSplitter::WriteUpTo(std::size_t end) {
    if (end <= m_nPend) {
        return;
    }
    const std::size_t size = end - m_nPend;
    const std::uint8_t* data = m_pBuf.get() + m_nPend;
    m_nPend = end;
    if (m_bAbort || !SceneOpen()) {
        return;  // after a failed write or creation nothing more goes out
    }
    m_scene.length += size;
    WriteOut(data, size);
}

}  // namespace vornak
