// The DV scene job: splits DV (DIF) frames into one file per recorded scene. The frames come
// from a raw DV file, or from a container through a byte source that hands them out one after
// another; the scenes go into raw .dv files, or into containers through a scene file that takes
// the frames.
//
// Every DV frame is a whole picture with its own sound, so a scene file begins at the first
// frame of its scene and every byte of the input goes, in order, into the file of the scene it
// falls in: whole frames, frames cut short and bytes between frames alike. The scene files of a
// tape, joined in order, are the tape. Names, refusals, "-new" names, flushing, listing and
// scene choice are those of the transport-stream job. Asked to check the tape's health, it says
// with each scene what is wrong in it (DvHealthCheck), from what it reads of every frame anyway.
//
// Threading: construct, run and destroy on one worker thread. The stop byte may be set from any
// thread; the job polls it between frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "DiskSync.h"
#include "DvByteSource.h"
#include "DvFrameInfo.h"
#include "DvFrameReader.h"
#include "DvHealthCheck.h"
#include "DvSceneFile.h"
#include "DvSceneRule.h"
#include "LogSink.h"
#include "RecordingDate.h"
#include "SceneJob.h"
#include "SceneOutput.h"
#include "SceneSplitterSettings.h"
#include "SceneSummary.h"

namespace vornak {

class DvSceneSplitter : public SceneJob {
  public:
    // Twelve 625/50 frames a read: large enough that reading and writing cost little more than a
    // copy, small enough to stay in the processor's cache between the read and the write.
    static constexpr std::size_t kReadFrames = 12;
    static constexpr std::size_t kReadSize = kReadFrames * dv::kFrameSize625;
    // How much of a scene whose first frames carry no date is held back, unwritten, for the
    // date that names its file: as much as the transport-stream job holds, whatever the reads.
    static constexpr std::size_t kHoldFrames = 40;
    static constexpr std::size_t kHoldSize = kHoldFrames * dv::kFrameSize625;
    // Written bytes after which a scene file's writeback is started, so that the disk writes
    // while the job reads on and the flush at the scene's end has little left to wait for.
    static constexpr std::size_t kWritebackBytes = 16 << 20;
    // The extension every DV scene file gets, whatever the input is called: the files hold raw DV.
    static constexpr const char* kExtension = "dv";

    DvSceneSplitter(std::string inputPath, SceneSplitterSettings settings);
    ~DvSceneSplitter() override;
    DvSceneSplitter(const DvSceneSplitter&) = delete;
    DvSceneSplitter& operator=(const DvSceneSplitter&) = delete;

    void SetLog(LogSink* log) {
        m_pLog = log;
        m_output.SetLog(log);
    }
    // Where the bytes come from: the raw file at the input path unless a container's frames
    // are read instead. Must be called before Run.
    void SetByteSource(std::unique_ptr<DvByteSource> source);
    // What each scene goes into: a raw file as read unless a container takes the frames, whose
    // extension the settings then give. Must be called before Run.
    void SetSceneFile(std::unique_ptr<DvSceneFile> file);
    // Where scene files and their folder are flushed to; the system's disk unless a test puts
    // something in between. Must be called before Run.
    void SetDiskSync(DiskSync* sync);
    // Bytes asked of the input at a time. Smaller reads let tests put cuts at read boundaries
    // without huge inputs. Must be called before Run; 0 is taken as 1.
    void SetReadSize(std::size_t bytes) { m_nReadSize = bytes > 0 ? bytes : 1; }
    // Writes only the scenes for which `choose` (given the scene's number, from 0) is true; the
    // others are read and reported as in a listing, and their names stay unused, as for the
    // transport-stream job. Empty: every scene is written.
    void SetSceneChoice(std::function<bool(std::int32_t)> choose) {
        m_chooseScene = std::move(choose);
    }

    void Run() override;
    SplitResult Result() const override { return m_result; }
    std::int32_t Counter() const override { return m_output.Counter(); }

  private:
    // Reading.
    bool OpenInput();
    // Moves the bytes still needed to the buffer's front and reads more behind them.
    void Refill();
    void TakePiece(const dv::DvPiece& piece);
    void TakeFrame(const dv::DvPiece& piece);
    // True while the current scene's bytes are kept in the buffer, unwritten, for the date that
    // names its file (or, before the first frame, for the proof that the input is DV).
    bool Holding() const { return !SceneOpen() && !m_bAbort; }
    // The held bytes have grown too many: they are no DV, or go to a file without a date.
    void StopHolding();
    std::size_t BufferSize() const;
    bool StopRequested() const {
        return m_bAbort || m_pStopFlag->load(std::memory_order_relaxed) != 0;
    }

    // Scenes.
    // A scene begins at the first byte not written yet.
    void StartScene();
    void CountFrame(const dv::DvFrameInfo& frame);
    void CheckCutShort(const dv::DvPiece& piece);
    // The bytes of the current scene before buffer offset `end` go into its file.
    void WriteUpTo(std::size_t end);

    // Output (DvSceneSplitterOutput.cpp).
    bool SceneOpen() const { return m_pOutFile->IsOpen() || m_bListSceneOpen; }
    void OpenSceneFile();
    void WriteOut(const std::uint8_t* data, std::size_t size);
    void CloseOutFile();
    void RemoveEmptyStoppedFile();
    void SyncOutputFolder();

    // The one place the job's lines go out.
    void Log(const std::string& line) const;  // an Info line
    void Log(LogSeverity severity, const std::string& line) const;
    void Fail(SplitResult failure);

    // Settings.
    std::string m_inputPath;
    StopFlag* m_pStopFlag = nullptr;
    std::unique_ptr<StopFlag> m_ownStopFlag;
    LogSink* m_pLog = nullptr;
    bool m_bListOnly = false;
    bool m_bHealthCheck = false;
    std::function<bool(std::int32_t)> m_chooseScene;
    DiskSync* m_pDiskSync = &DiskSync::System();
    std::size_t m_nReadSize = kReadSize;

    // Run state.
    SplitResult m_result = SplitResult::Completed;
    SplitResult m_failure = SplitResult::Completed;
    bool m_bAbort = false;
    std::unique_ptr<DvByteSource> m_pSource = std::make_unique<RawDvByteSource>();
    std::unique_ptr<std::uint8_t[]> m_pBuf;
    std::size_t m_nFill = 0;       // bytes in the buffer
    std::size_t m_nUsed = 0;       // bytes the frame reader has handed out
    std::size_t m_nPend = 0;       // the first byte of the current scene not written yet
    std::uint64_t m_nBufBase = 0;  // input offset of the buffer's first byte
    bool m_bEof = false;
    dv::DvFrameReader m_reader;
    dv::DvSceneRule m_rule;
    dv::DvFrameInfo m_frame;
    DvHealthCheck m_health;

    // The current scene. The first begins at the first frame, whole or not, with any bytes
    // before it; without one the input is no DV.
    bool m_bSceneStarted = false;
    std::optional<RecordingDate> m_sceneDate;  // its first date, which names its file

    // Output.
    std::unique_ptr<DvSceneFile> m_pOutFile = std::make_unique<RawDvSceneFile>();
    SceneOutput m_output;  // names, creates and finishes the files m_pOutFile opens
    std::int32_t m_nScenes = 0;
    bool m_bListSceneOpen = false;
    std::size_t m_nNotWrittenBack = 0;  // bytes written since the last writeback began
    SceneSummary m_scene;
};

}  // namespace vornak
