// The audio and video sync mode: video and audio are buffered apart so that the audio can be
// cut at its own presentation time, and each file gets the audio spread among its video.
#include <algorithm>
#include <cstring>
#include <vector>

#include "SceneSplitter.h"
#include "TsPacket.h"

namespace vornak {

namespace {

constexpr std::uint64_t kPtsMask = (std::uint64_t(1) << 33) - 1;
constexpr std::uint64_t kPtsHalfRange = std::uint64_t(1) << 32;
constexpr std::uint8_t PTS_FLAG = 0x80;
constexpr std::uint8_t DTS_FLAG = 0x40;
constexpr std::int64_t kTicksPerSecond = 90'000;
// Pictures that carry on a recording follow the last one within this much; dropped pictures
// stretch it a little, a camcorder that starts a new recording restarts or jumps its clock.
constexpr std::int64_t kVideoClockStep = kTicksPerSecond;
// An audio frame within this much after the last one carries on the same sound.
constexpr std::int64_t kAudioClockStep = kTicksPerSecond / 2;
// A new recording's first audio frame lies about this close to its first picture's cut time.
constexpr std::int64_t kSoundNearPictures = kTicksPerSecond / 2;

// The 33-bit clock wraps about every 26.5 hours; "at or after" means less than half a wrap ahead.
bool PtsAtOrAfter(std::uint64_t pts, std::uint64_t reference) {
    return ((pts - reference) & kPtsMask) < kPtsHalfRange;
}

// How far `pts` lies after `reference` on the wrapping clock, negative when before.
std::int64_t PtsAfter(std::uint64_t pts, std::uint64_t reference) {
    const std::uint64_t ahead = (pts - reference) & kPtsMask;
    return ahead < kPtsHalfRange
               ? static_cast<std::int64_t>(ahead)
               : static_cast<std::int64_t>(ahead) - static_cast<std::int64_t>(kPtsMask + 1);
}

// A 5-byte PES timestamp: bit 32 apart, bits 31..0 apart; marker bits are ignored.
void DecodeTimestamp(const std::uint8_t* b, std::uint32_t& high, std::uint32_t& low) {
    high = (b[0] >> 3) & 0x1;
    low = (std::uint32_t((b[0] >> 1) & 0x3) << 30) | (std::uint32_t(b[1]) << 22) |
          (std::uint32_t(b[2] >> 1) << 15) | (std::uint32_t(b[3]) << 7) | (b[4] >> 1);
}

std::size_t WholePackets(std::size_t bytes) {
    return bytes / PKT_SIZE * PKT_SIZE;
}

// Moves what follows `cut` to the buffer start; positions after the cut move with their
// packets, positions before it collapse onto the start.
void MoveTailToStart(std::uint8_t* bufStart, std::uint8_t*& cut, std::uint8_t*& fill,
                     std::uint8_t*& lastStart, std::uint8_t*& lastEnd, std::uint8_t*& written) {
    const std::size_t tail = fill > cut ? static_cast<std::size_t>(fill - cut) : 0;
    if (tail > 0 && cut > bufStart) {
        std::memmove(bufStart, cut, tail);
    }
    const auto shift = [&](std::uint8_t* pos) {
        return pos >= cut ? bufStart + (pos - cut) : bufStart;
    };
    lastStart = shift(lastStart);
    lastEnd = shift(lastEnd);
    fill = bufStart + tail;
    written = cut = bufStart;
}

}  // namespace

void SceneSplitter::ReadTimestamps(const std::uint8_t* pes, const std::uint8_t* packetEnd) {
    PacketInfo& info = m_packet;
    const std::uint8_t flags = pes[PES_FLAGS_OFFSET];
    const std::uint8_t* const pts = pes + PES_PTS_OFFSET;
    if ((flags & PTS_FLAG) == 0 || pts + TIMESTAMP_SIZE > packetEnd) {
        return;
    }
    DecodeTimestamp(pts, info.ptsHigh, info.ptsLow);
    info.hasPts = true;
    const std::uint8_t* const dts = pts + TIMESTAMP_SIZE;
    if ((flags & DTS_FLAG) != 0 && dts + TIMESTAMP_SIZE <= packetEnd) {
        DecodeTimestamp(dts, info.dtsHigh, info.dtsLow);
        info.hasDts = true;
    }
}

void SceneSplitter::BufferPacket(const std::uint8_t* packet, int packetPid) {
    if (packetPid == PID_AUDIO || packetPid == PID_AUDIO_2) {
        std::memcpy(m_pAudioFill, packet, PKT_SIZE);
        m_pAudioFill += PKT_SIZE;
        if (packetPid == PID_AUDIO) {
            m_pAudioLastStart = m_pAudioLastEnd;
            m_pAudioLastEnd = m_pAudioFill;
        }
        if (m_pAudioFill + PKT_SIZE > m_pAudioBuf.get() + WholePackets(m_nAudioBufSize)) {
            OnBufferFull(false);
        }
        return;
    }
    m_nPacketPos = VideoPos(m_pVideoFill);
    std::memcpy(m_pVideoFill, packet, PKT_SIZE);
    m_pVideoFill += PKT_SIZE;
    if (packetPid == PID_VIDEO) {
        m_pVideoLastStart = m_pVideoLastEnd;
        m_pVideoLastEnd = m_pVideoFill;
    }
    if (m_pVideoFill + PKT_SIZE > m_pVideoBuf.get() + WholePackets(m_nReadBufSize)) {
        OnBufferFull(true);
    }
}

// A buffer that fills up is flushed up to its cut. When nothing before the cut can go out, the
// buffer is still full: its packets are written as they are rather than lost, into the open
// file or, before the first one, into the file the plain mode's first write would open.
void SceneSplitter::OnBufferFull(bool video) {
    if (m_bAudioCutPending) {
        m_pAudioCut = m_pAudioFill;
    }
    if (m_bFragmentWaiting) {
        // The first group's sound cannot wait any longer: all of it so far is the fragment's.
        KeepFragmentApartSync();
    } else {
        FlushInterleaved();
    }
    std::uint8_t* const start = video ? m_pVideoBuf.get() : m_pAudioBuf.get();
    std::uint8_t*& fill = video ? m_pVideoFill : m_pAudioFill;
    const std::size_t capacity = WholePackets(video ? m_nReadBufSize : m_nAudioBufSize);
    if (fill + PKT_SIZE <= start + capacity) {
        return;
    }
    if (!SceneOpen() && !m_bAbort) {
        OpenFileForBuffered();
    }
    const bool written = SceneOpen() && !m_bAbort;
    if (written) {
        m_tally.AddBytes(-1, static_cast<std::uint64_t>(fill - start));
        WriteOut(start, static_cast<std::size_t>(fill - start));
    }
    if (video) {
        m_tally.Settle(VideoPos(fill), written);
        m_nVideoBase = VideoPos(fill);
    }
    fill = start;
    if (video) {
        m_pVideoCut = m_pVideoWritten = m_pVideoLastStart = m_pVideoLastEnd = start;
    } else {
        m_pAudioCut = m_pAudioWritten = m_pAudioLastStart = m_pAudioLastEnd = start;
    }
}

void SceneSplitter::SyncLoop() {
    m_pVideoCut = m_pVideoFill = m_pVideoLastStart = m_pVideoLastEnd = m_pVideoBuf.get();
    m_pAudioCut = m_pAudioWritten = m_pAudioFill = m_pAudioBuf.get();
    m_pAudioLastStart = m_pAudioLastEnd = m_pAudioBuf.get();
    m_bAudioCutPending = m_bClockBroken = false;
    m_bVideoTimeKnown = m_bGroupPrevVideoTimeKnown = m_bAudioPtsKnown = false;
    m_bFragmentWaiting = false;
    while (!m_bDone) {
        if (StopRequested()) {
            break;
        }
        if (!NextVideoUnitStartSync() || StopRequested()) {
            continue;
        }
        const bool hasPts = m_pPacket->hasPts;
        const bool stamped = hasPts && m_pPacket->hasDts;
        const std::uint64_t pts = m_pPacket->Pts();
        const std::uint64_t dts = m_pPacket->Dts();

        const std::int32_t savedState = m_nGopState;
        const bool firstGroup = !m_bGroupFound;
        m_nGopState = 0;
        ScanPictureGroup();
        if (m_nGopState != 0) {
            if (m_bFragmentWaiting) {
                // The first group's sound never began before this group: all of it so far goes
                // with the fragment, as it does with a scene cut without sound.
                m_pAudioCut = m_pAudioFill;
                KeepFragmentApartSync();
            }
            // The group's own first packet is counted too.
            m_bFragmentWaiting = firstGroup && m_nVideoBeforeGroup > 1;
            if (m_bScenePending && !m_bAudioCutFound) {
                CutWithoutSound();
            }
            CountDropNotForgiven();
            if (m_pHealth) {
                m_pHealth->OnGroupEnds();
            }
            m_bCutPtsReady = m_bAudioCutFound = m_bDateSeen = m_bScenePending = false;
            m_groupPrevVideoTime = m_lastVideoTime;
            m_bGroupPrevVideoTimeKnown = m_bVideoTimeKnown;
        } else {
            m_nGopState = savedState;
        }
        if (m_nGopState != 0 && !m_bCutPtsReady) {
            // Packets of other PIDs between the two video packets go with the new group.
            m_pVideoCut = m_pVideoLastStart;
            m_bAudioCutPending = true;
            if (stamped) {
                // The new group's sound starts a third of the way from its decoding to its
                // presentation time.
                m_cutPts = (dts + ((pts - dts) & kPtsMask) / 3) & kPtsMask;
                m_bCutPtsReady = true;
                const std::int64_t step = PtsAfter(dts, m_groupPrevVideoTime);
                m_bClockBroken =
                    m_bGroupPrevVideoTimeKnown && (step <= 0 || step > kVideoClockStep);
            }
        }
        if (hasPts) {
            m_lastVideoTime = stamped ? dts : pts;
            m_bVideoTimeKnown = true;
        }
        if (WholePacketAt(m_pCur)) {
            m_pCur += PKT_SIZE;
        }
    }
    if (StopRequested()) {
        FinishStoppedSync();
    }
}

// Where the clock runs on across the cut, the old recording's sound ends before the group's cut
// time. Where it restarts or jumps, times say nothing about order: the old recording's sound
// goes on from its own last frame, and the new one's begins near its pictures' time or wherever
// the frames stop following the old ones.
bool SceneSplitter::StartsGroupSound(std::uint64_t pts) const {
    if (!m_bClockBroken) {
        return PtsAtOrAfter(pts, m_cutPts);
    }
    const std::int64_t fromCut = PtsAfter(pts, m_cutPts);
    if (fromCut >= -kSoundNearPictures && fromCut <= kSoundNearPictures) {
        return true;
    }
    const std::int64_t fromLast = PtsAfter(pts, m_lastAudioPts);
    return !m_bAudioPtsKnown || fromLast < 0 || fromLast > kAudioClockStep;
}

bool SceneSplitter::NextVideoUnitStartSync() {
    if (!WholePacketAt(m_pCur)) {
        Refill(true);
    }
    for (;;) {
        if (StopRequested()) {
            return true;
        }
        if (!SyncToWholePacket()) {
            return false;
        }
        ParsePacket(m_pCur, false);  // also buffers the packet
        bool videoUnitStart = false;
        const int packetPid = m_pPacket->pid;
        if (packetPid == PID_VIDEO) {
            if (!m_bGroupFound) {
                ++m_nVideoBeforeGroup;
            }
            videoUnitStart = m_pPacket->unitStart;
            if (!videoUnitStart) {
                m_pCur += PKT_SIZE;
            }
        } else if (packetPid == PID_AUDIO) {
            // Without the group's own cut time, an older one would cut the sound too early.
            if (m_pPacket->hasPts && m_nGopState != 0 && !m_bAudioCutFound && m_bCutPtsReady &&
                StartsGroupSound(m_pPacket->Pts())) {
                m_pAudioCut = m_pAudioLastStart;
                m_bAudioCutFound = true;
                m_bAudioCutPending = false;
                if (m_bFragmentWaiting) {
                    KeepFragmentApartSync();
                }
            }
            if (m_pPacket->hasPts) {
                m_lastAudioPts = m_pPacket->Pts();
                m_bAudioPtsKnown = true;
            }
            m_pCur += PKT_SIZE;
        } else {
            m_pCur += PKT_SIZE;
            if (m_nGopState != 0 && packetPid == PID_RECORDING_DATE && DecodeRecordingDate()) {
                m_bDateSeen = true;
                if (!m_bScenePending) {
                    CheckSceneChange();
                }
            }
        }

        if (m_bAudioCutFound && m_bCutPtsReady && m_bDateSeen) {
            // The group is complete: its video cut, its audio cut and its date are known.
            CutSceneSync();
            if (!SceneOpen() && !m_bAbort) {
                // The scene is known to go into a file from here on: say so now, not when the
                // first bytes go out, which may be many groups later.
                OpenNextFile(FirstSceneDate());
            }
            if (m_nGopState != 0 && (m_nGopState == 1 || m_nDatePackets >= 2)) {
                FlushInterleaved();
                m_nGopState = 0;
                if (m_bDeferredDrop) {
                    ReportDropped(m_nDeferredDropPos);
                    m_bDeferredDrop = false;
                }
            }
            m_bAudioCutFound = m_bCutPtsReady = m_bDateSeen = false;
        }
        if (videoUnitStart) {
            return true;
        }
    }
}

void SceneSplitter::RefillSync(bool final) {
    std::uint8_t* const start = BufStart();
    // Every packet before the current one has been copied into the video or audio buffer.
    const std::size_t keep = (m_pCur != nullptr && m_pCur < m_pReadEnd)
                                 ? static_cast<std::size_t>(m_pReadEnd - m_pCur)
                                 : 0;
    if (keep > 0) {
        std::memmove(start, m_pCur, keep);
    }
    if (m_pCur != nullptr) {
        MovePacketInfo(m_pCur, start);
    }
    m_pCur = start;
    m_pReadEnd = start + keep;
    // Packets still waiting at the current position have not been buffered yet: the walk has
    // to take them before the input can end.
    if (m_bEof && final && keep < PKT_SIZE) {
        if (m_pHealth) {
            m_pHealth->Finish();
        }
        if (m_bFragmentWaiting) {
            m_pAudioCut = m_pAudioFill;
            KeepFragmentApartSync();
        }
        m_pVideoCut = m_pVideoFill;
        m_pAudioCut = m_pAudioFill;
        m_bDone = true;
        FlushInterleaved();
        FlushRemainingAudio();
    }
    m_pVideoWritten = m_pVideoBuf.get();
    if (m_bEof) {
        return;
    }
    ReadMore(keep);
}

// At the end of input, sound after the last video still belongs to the last scene.
void SceneSplitter::FlushRemainingAudio() {
    std::uint8_t* const start = m_pAudioBuf.get();
    if (m_bAbort || m_pAudioFill <= start) {
        return;
    }
    if (!SceneOpen()) {
        OpenFileForBuffered();
        if (!SceneOpen()) {
            return;
        }
    }
    m_tally.AddBytes(-1, static_cast<std::uint64_t>(m_pAudioFill - start));
    WriteOut(start, static_cast<std::size_t>(m_pAudioFill - start));
    m_pAudioFill = m_pAudioCut = m_pAudioWritten = m_pAudioLastStart = m_pAudioLastEnd = start;
}

void SceneSplitter::FlushInterleaved() {
    if (m_bAbort || m_pVideoWritten == nullptr || m_pVideoWritten >= m_pVideoCut) {
        return;
    }
    if (!SceneOpen()) {
        OpenFileForBuffered();
        if (!SceneOpen()) {
            return;
        }
    }
    std::uint8_t* const videoStart = m_pVideoBuf.get();
    std::uint8_t* const audioStart = m_pAudioBuf.get();
    const std::size_t nV = static_cast<std::size_t>(m_pVideoCut - videoStart) / PKT_SIZE;
    const std::size_t nA = static_cast<std::size_t>(m_pAudioCut - audioStart) / PKT_SIZE;
    WriteInterleaved(nV, nA);
    m_tally.Settle(VideoPos(m_pVideoCut), true);
    m_nVideoBase = VideoPos(m_pVideoCut);

    // Nothing before either cut stays buffered; what follows moves to the front.
    MoveTailToStart(videoStart, m_pVideoCut, m_pVideoFill, m_pVideoLastStart, m_pVideoLastEnd,
                    m_pVideoWritten);
    MoveTailToStart(audioStart, m_pAudioCut, m_pAudioFill, m_pAudioLastStart, m_pAudioLastEnd,
                    m_pAudioWritten);
}

// Spreads nA audio packets evenly among nV video packets, starting with video. With more video
// than audio, each audio packet is followed by the same number k of video packets and the file
// ends with video; otherwise the video is spread among the audio as evenly as the counts allow.
void SceneSplitter::WriteInterleaved(std::size_t nV, std::size_t nA) {
    const std::uint8_t* const video = m_pVideoBuf.get();
    const std::uint8_t* const audio = m_pAudioBuf.get();
    std::vector<OutputFile::Piece> pieces;
    const auto addVideo = [&](std::size_t first, std::size_t count) {
        if (count > 0) {
            pieces.push_back({video + first * PKT_SIZE, count * PKT_SIZE});
        }
    };
    const auto addAudio = [&](std::size_t first, std::size_t count) {
        if (count > 0) {
            pieces.push_back({audio + first * PKT_SIZE, count * PKT_SIZE});
        }
    };
    if (nA == 0) {
        addVideo(0, nV);
    } else if (nV > nA) {
        const std::size_t k = std::max<std::size_t>(1, nV / (nA + 1));
        const std::size_t head = nV - nA * k;
        addVideo(0, head);
        for (std::size_t a = 0; a < nA; ++a) {
            addAudio(a, 1);
            addVideo(head + a * k, k);
        }
    } else {
        // Video packet v follows the first v * nA / nV audio packets.
        std::size_t audioDone = 0;
        for (std::size_t v = 0; v < nV; ++v) {
            const std::size_t audioBefore = v * nA / nV;
            addAudio(audioDone, audioBefore - audioDone);
            audioDone = audioBefore;
            addVideo(v, 1);
        }
        addAudio(audioDone, nA - audioDone);
    }
    std::size_t wanted = 0;
    for (const auto& piece : pieces) {
        wanted += piece.size;
    }
    m_tally.AddBytes(-1, wanted);
    const std::size_t written =
        m_bListSceneOpen ? wanted : m_outFile.WritePieces(pieces.data(), pieces.size());
    ReportWritten(written, wanted);
}

// Drops what lies before both cuts; the packets after them stay, and so do the positions of the
// last video and audio packets among them.
void SceneSplitter::DiscardBeforeCutSync() {
    m_tally.Settle(VideoPos(m_pVideoCut), false);
    m_nVideoBase = VideoPos(m_pVideoCut);
    MoveTailToStart(m_pVideoBuf.get(), m_pVideoCut, m_pVideoFill, m_pVideoLastStart,
                    m_pVideoLastEnd, m_pVideoWritten);
    MoveTailToStart(m_pAudioBuf.get(), m_pAudioCut, m_pAudioFill, m_pAudioLastStart,
                    m_pAudioLastEnd, m_pAudioWritten);
}

void SceneSplitter::CutSceneSync() {
    if (!m_bScenePending) {
        return;
    }
    if (m_pHealth) {
        m_pHealth->OnSceneCut();
    }
    if (!SceneOpen() && m_pVideoCut > m_pVideoBuf.get()) {
        // The scene before this one never got a file of its own (it never had a decision, or it
        // has no date at all): give it one, named after its first date if it has one, rather
        // than dropping its packets. Its file comes before the change in the log, as it does in
        // time.
        OpenNextFile(m_pPrevDate ? FirstSceneDate() : nullptr);
    }
    if (m_pPrevDate) {
        Log("Scene change detected.");
    }
    // A file that is open, also one that an overflow opened before any date, is finished up to
    // the cut; only packets that no file could take are dropped.
    if (SceneOpen()) {
        FlushInterleaved();
        Refill(false);
        CloseOutFile();
    } else {
        // No video lies before the job's first cut: the sound before it has no scene of its
        // own and begins the first one, as the plain mode's first file begins with it.
        m_pAudioCut = m_pAudioBuf.get();
        DiscardBeforeCutSync();
    }
    OpenNextFile(m_pCurDate.get());
    m_bScenePending = false;
    m_bDeferredDrop = false;
    m_nGopState = 0;
    m_pGopStart = nullptr;
}

// A new recording whose sound has not begun by its next picture group (a tape without sound, or
// sound lost at a recording's start) is cut at its pictures all the same: all the sound so far
// is the old recording's, and what comes later goes with the new one.
void SceneSplitter::CutWithoutSound() {
    const std::int32_t nextGroupState = m_nGopState;
    m_pAudioCut = m_pAudioFill;
    m_bAudioCutPending = false;
    CutSceneSync();
    m_nGopState = nextGroupState;
}

void SceneSplitter::KeepFragmentApartSync() {
    FlushInterleaved();  // opens the fragment file unless an overflow has opened it already
    m_bFragmentWaiting = false;
    if (SceneOpen()) {
        CloseOutFile();
    }
}

void SceneSplitter::OpenFileForBuffered() {
    const bool fragment = FragmentAhead() || m_bFragmentWaiting;
    OpenNextFile(fragment ? nullptr : FirstSceneDate(), fragment);
}

// A stop ends the job between packets. What the open scene has before the last cut still goes
// out whole, its sound with it; what no scene has taken yet is given up.
void SceneSplitter::FinishStoppedSync() {
    if (m_bAbort || !SceneOpen()) {
        return;
    }
    if (m_bAudioCutPending) {
        m_pAudioCut = m_pAudioFill;
    }
    FlushInterleaved();
}

}  // namespace vornak
