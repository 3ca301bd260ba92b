// The transport-stream scene job: one object per input file or per live capture run.
//
// A split job copies a transport stream into one output file per recorded scene. Scenes start
// where the camcorder's recording date jumps by more than two seconds, or at a closed picture
// group that carries a second date pack; a new scene file only ever starts at a picture group.
// What a job reads before its first picture group (a capture, or the stream after a break, that
// begins inside one) goes into a fragment file of its own, so that nothing is lost.
//
// Threading: construct, run and destroy on one worker thread. The stop byte may be set from any
// thread; the job polls it between packets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "DiskSync.h"
#include "InputFile.h"
#include "LiveSource.h"
#include "LogSink.h"
#include "OutputFile.h"
#include "PacketInfo.h"
#include "RecordingDate.h"
#include "SceneJob.h"
#include "SceneOutput.h"
#include "SceneSplitterSettings.h"
#include "SceneTally.h"
#include "TsHealthScanner.h"

namespace vornak {

class SceneSplitter : public SceneJob {
  public:
    static constexpr std::size_t kReadBufSize = 12'582'840;   // 66,930 packets
    static constexpr std::size_t kAudioBufSize = 393'108;     // 2,091 packets
    static constexpr std::size_t kLiveFillLimit = 3'145'616;  // 16,732 packets per live refill
    // Most bytes read from a file in one refill. Small enough that the packets are still in the
    // processor's cache when the job walks them and writes them out again; the buffer's full
    // size is there for the data a pending scene decision holds back.
    static constexpr std::size_t kFileReadSlice = 1 << 20;

    // File form.
    SceneSplitter(std::string inputPath, SceneSplitterSettings settings);
    // Live form: reads from a capture source instead of a file.
    SceneSplitter(LiveSource* liveSource, SceneSplitterSettings settings);
    ~SceneSplitter() override;

    SceneSplitter(const SceneSplitter&) = delete;
    SceneSplitter& operator=(const SceneSplitter&) = delete;

    void SetLog(LogSink* log) {
        m_pLog = log;
        m_output.SetLog(log);
    }
    // Where scene files and their folder are flushed to when they are finished; the system's
    // disk unless a test puts something in between. Must be called before Run.
    void SetDiskSync(DiskSync* sync);
    // Smaller buffers let tests put scene cuts at buffer boundaries without huge inputs.
    // Must be called before Run; values below a few packets are raised to a safe minimum.
    void SetReadBufferSize(std::size_t bytes);
    // The same for the sync mode's audio buffer.
    void SetAudioBufferSize(std::size_t bytes);
    // Writes only the scenes for which `choose` (given the scene's number, from 0 as a listing
    // counts them) is true; the others are read and reported as in a listing, and the names
    // they would have had stay unused, so every written file is the very file a full split
    // makes. Empty: every scene is written. Called on the job's thread.
    void SetSceneChoice(std::function<bool(std::int32_t)> choose) {
        m_chooseScene = std::move(choose);
    }

    void Run() override;
    std::int32_t Counter() const override { return m_output.Counter(); }
    SplitResult Result() const override { return m_result; }

  private:
    // Reader.
    void Refill(bool final);
    void ReadMore(std::size_t keep);
    std::uint8_t* LastPossibleCut() const;
    void FillFromLive(std::size_t keep);
    // Looks through the buffered input for evidence of a transport stream.
    void LookForStream();
    void ParsePacket(const std::uint8_t* packet, bool lookahead);
    std::uint8_t* Resync(std::uint8_t* pos) const;
    bool WholePacketAt(const std::uint8_t* pos) const;
    // Steps over bytes that start no packet; true when a whole packet lies at m_pCur.
    bool SyncToWholePacket();
    std::uint8_t* BufStart() const { return m_pReadBuf.get(); }
    std::uint8_t* Moved(std::uint8_t* pos, const std::uint8_t* from) const;
    void MovePacketInfo(const std::uint8_t* from, const std::uint8_t* to);

    // Picture groups and scenes.
    void CountPictures(const std::uint8_t* begin, const std::uint8_t* end);
    void OnStartCode(std::uint32_t code, bool& broken);
    void ScanPictureGroup();
    bool DecodeRecordingDate();
    void CheckSceneChange();
    void CutScenePlain();
    // Counts a broken picture; `pos` is where the picture began.
    void ReportDropped(std::uint64_t pos);
    // A new group begins and the one before was not cut: a broken picture whose count waited
    // for that group's decision is counted.
    void CountDropNotForgiven();

    // Job.
    void PlainLoop();
    bool NextVideoUnitStart();
    void AdvanceAndCommit();
    void DiscardBeforeCut();
    // A failed write ends the job like a stop request: a full disk will not take the rest either.
    bool StopRequested() const {
        return m_bAbort || m_pStopFlag->load(std::memory_order_relaxed) != 0;
    }

    // Audio and video sync mode.
    void SyncLoop();
    bool NextVideoUnitStartSync();
    void RefillSync(bool final);
    void ReadTimestamps(const std::uint8_t* pes, const std::uint8_t* packetEnd);
    void BufferPacket(const std::uint8_t* packet, int packetPid);
    void OnBufferFull(bool video);
    void FlushInterleaved();
    void WriteInterleaved(std::size_t nV, std::size_t nA);
    void FlushRemainingAudio();
    void CutSceneSync();
    void DiscardBeforeCutSync();
    // True when an audio frame stamped `pts` is the first of the waiting group's sound.
    bool StartsGroupSound(std::uint64_t pts) const;
    void FinishStoppedSync();
    void CutWithoutSound();
    // The first picture group's cuts are as known as they will get: what lies before them in
    // either buffer goes into the fragment file, which is then finished.
    void KeepFragmentApartSync();
    // Buffered packets are about to go out and no file is open: the fragment while one is due,
    // else the first scene's file.
    void OpenFileForBuffered();

    // Stream positions. The plain mode counts input bytes; the sync mode counts the bytes that
    // pass through its video buffer, which carries everything but the sound, in the order they
    // go out. The scene tally files pictures and dates by them.
    std::uint64_t PlainPos(const std::uint8_t* pos) const {
        return m_nBufBase + static_cast<std::uint64_t>(pos - BufStart());
    }
    std::uint64_t VideoPos(const std::uint8_t* pos) const {
        return m_nVideoBase + static_cast<std::uint64_t>(pos - m_pVideoBuf.get());
    }
    // Where a byte of the read buffer lies in the input (a capture's: in the stream received).
    std::int64_t InputOffset(const std::uint8_t* pos) const {
        return static_cast<std::int64_t>(m_nInputBytes) - (m_pReadEnd - pos);
    }

    // Output.
    bool SceneOpen() const { return m_outFile.IsOpen() || m_bListSceneOpen; }
    // `fragment`: the file takes the bytes before the job's first picture group.
    void OpenNextFile(const RecordingDate* date, bool fragment = false);
    // The first scene file is opened by a write or by the next scene's cut, when its own
    // decision never came; it is named after its first date pack, as every later scene is,
    // whatever the date has grown to since.
    const RecordingDate* FirstSceneDate() const {
        return m_firstDate ? &*m_firstDate : m_pCurDate.get();
    }
    // True while the first scene file waits for the date that names it: its bytes stay in the
    // read buffer meanwhile, so that the name does not depend on where the buffer ends.
    bool HoldsForFirstDate() const;
    // True while the job has not yet found its first picture group: what comes before it is a
    // fragment when it holds video, else the start of the first scene.
    bool HoldsForFirstGroup() const;
    // The first picture group is found and video lies before its cut: that part of a group goes
    // into a fragment file, so that the first scene file begins at the group.
    void KeepFragmentApart();
    bool FragmentAhead() const { return !m_bGroupFound && m_nVideoBeforeGroup > 0; }
    void WritePending();
    void WriteOut(const std::uint8_t* data, std::size_t size);
    void ReportWritten(std::size_t written, std::size_t wanted);
    void CloseOutFile();
    // A stop that came before anything went into the open scene file takes the file away again.
    void RemoveEmptyStoppedFile();
    // Makes the names of the files this job created as safe as their data.
    void SyncOutputFolder();

    void Log(const std::string& line) const;  // an Info line
    void Log(LogSeverity severity, const std::string& line) const;
    // Keeps the first failure: later ones are mostly its consequences.
    void Fail(SplitResult failure);
    void ResetRunState();

    // Job settings.
    std::string m_inputPath;
    LiveSource* m_pLiveSource = nullptr;
    StopFlag* m_pStopFlag = nullptr;
    std::unique_ptr<StopFlag> m_ownStopFlag;
    bool m_bSyncAV = false;
    LogSink* m_pLog = nullptr;
    SplitResult m_result = SplitResult::Completed;
    SplitResult m_failure = SplitResult::Completed;  // the first failure, or Completed for none
    bool m_bAbort = false;
    bool m_bHealthCheck = false;
    VideoDecodeCheckMaker m_makeDecodeCheck;

    // Reader.
    InputFile m_inFile;
    std::unique_ptr<ChunkQueue> m_pLiveBatch;
    std::size_t m_nLiveChunkOffset = 0;  // bytes of the oldest chunk already taken
    std::unique_ptr<std::uint8_t[]> m_pReadBuf;
    std::size_t m_nReadBufSize = kReadBufSize;
    std::uint8_t* m_pReadEnd = nullptr;
    std::uint8_t* m_pCur = nullptr;
    bool m_bEof = false;
    bool m_bDone = false;
    // Until packets are found, nothing is written: an input that holds none is no tape.
    bool m_bStreamFound = false;
    std::uint64_t m_nInputBytes = 0;  // bytes read from the input so far
    PacketInfo m_packet;
    PacketInfo* m_pPacket = nullptr;

    // Plain-mode committed range and video tracking.
    std::uint8_t* m_pPendBegin = nullptr;
    std::uint8_t* m_pPendEnd = nullptr;
    std::uint8_t* m_pVideoLastStart = nullptr;
    std::uint8_t* m_pVideoLastEnd = nullptr;

    // Scene detection.
    std::int32_t m_nGopState = 0;           // 0 none, 1 open group waiting, 2 closed group waiting
    bool m_bGroupFound = false;             // the job has found a picture group
    std::uint64_t m_nVideoBeforeGroup = 0;  // video packets walked before that
    std::uint8_t* m_pGopStart = nullptr;
    std::unique_ptr<RecordingDate> m_pPrevDate;
    std::unique_ptr<RecordingDate> m_pCurDate;
    std::optional<RecordingDate> m_firstDate;  // the run's first date pack
    std::int32_t m_nDatePackets = 0;
    bool m_bDateJump = false;
    bool m_bScenePending = false;
    bool m_bSkipNextOpenCheck = false;
    std::uint32_t m_startCode = 0xFFFFFFFFu;
    std::int32_t m_nSlices = -1;
    std::int32_t m_nPictures = -1;
    std::uint32_t m_nGops12 = 0;
    std::uint32_t m_nGops15 = 0;
    bool m_bDeferredDrop = false;
    bool m_bMidScenesOk = false;
    std::int32_t m_nLookaheadPackets = 6;
    std::int32_t m_nLookaheadBytes = 1128;

    // Sync mode: video (and everything but audio) and audio are buffered apart and cut apart.
    std::unique_ptr<std::uint8_t[]> m_pVideoBuf;
    std::unique_ptr<std::uint8_t[]> m_pAudioBuf;
    std::size_t m_nAudioBufSize = kAudioBufSize;
    std::uint8_t* m_pVideoFill = nullptr;
    std::uint8_t* m_pAudioFill = nullptr;
    std::uint8_t* m_pVideoCut = nullptr;
    std::uint8_t* m_pAudioCut = nullptr;
    std::uint8_t* m_pVideoWritten = nullptr;
    std::uint8_t* m_pAudioWritten = nullptr;
    std::uint8_t* m_pAudioLastStart = nullptr;
    std::uint8_t* m_pAudioLastEnd = nullptr;
    std::uint64_t m_cutPts = 0;  // 33 bits
    bool m_bCutPtsReady = false;
    bool m_bAudioCutFound = false;
    bool m_bDateSeen = false;
    // The video cut has moved on to a group whose sound has not begun yet: every audio packet
    // buffered meanwhile still belongs before that group.
    bool m_bAudioCutPending = false;
    // The clocks that tell whether the waiting group carries on the recording before it: the
    // last video decoding time, the one before the group, and the last audio frame's time.
    std::uint64_t m_lastVideoTime = 0;
    bool m_bVideoTimeKnown = false;
    std::uint64_t m_groupPrevVideoTime = 0;
    bool m_bGroupPrevVideoTimeKnown = false;
    bool m_bClockBroken = false;  // the waiting group's pictures restart or jump the clock
    std::uint64_t m_lastAudioPts = 0;
    bool m_bAudioPtsKnown = false;
    // Video lies before the job's first picture group, whose sound has not begun yet: that video
    // and the sound before the group's goes into a fragment file once the sound's cut is found.
    bool m_bFragmentWaiting = false;

    // Output.
    // A short write leaves whole packets only, so that the file still plays to its end.
    OutputFile m_outFile{OutputFile::ShortWrite::CutToWholePackets};
    DiskSync* m_pDiskSync = &DiskSync::System();
    SceneOutput m_output;
    bool m_bFragmentOpen = false;  // the open file holds a fragment
    bool m_bListOnly = false;
    std::function<bool(std::int32_t)> m_chooseScene;
    bool m_bListSceneOpen = false;  // a listing's scene that a split would have in a file now

    // What goes into each scene.
    SceneTally m_tally;
    // Set for a checked run only: the walk then costs one more test per video or sound packet.
    std::unique_ptr<TsHealthScanner> m_pHealth;
    std::int32_t m_nScenes = 0;
    std::uint64_t m_nBufBase = 0;    // position of the read buffer's first byte
    std::uint64_t m_nVideoBase = 0;  // position of the sync video buffer's first byte
    std::uint64_t m_nPacketPos = 0;  // position of the packet the walk parsed last
    std::uint64_t m_nPictureStartPos = 0;
    std::uint64_t m_nBrokenPos = 0;        // start of the picture found broken last
    std::uint64_t m_nDeferredDropPos = 0;  // start of the picture whose count waits
    std::uint64_t m_nDeferredAt = 0;       // the packet in which its count began to wait
};

}  // namespace vornak
