// Picture groups, recording dates and the scene decision.
#include <algorithm>
#include <cstring>

#include "DatePack.h"
#include "SceneSplitter.h"
#include "StartCodeSearch.h"
#include "TsPacket.h"

namespace vornak {

namespace {
constexpr int kGopLength12 = 12;
constexpr int kGopLength15 = 15;
}  // namespace

void SceneSplitter::ReportDropped(std::uint64_t pos) {
    m_tally.AddBroken(pos);
    if (m_pHealth) {
        m_pHealth->OnBroken(pos);
    }
    if (m_pLog != nullptr) {
        m_pLog->AddDropped(1);
    }
}

void SceneSplitter::CountDropNotForgiven() {
    // A count that waited for the group now ending, and is still waiting, was not forgiven by
    // a cut: the group went on with the scene before it, and the picture was dropped. A closed
    // group takes that decision only here, as a second date pack in it would still have cut it.
    // A count that began to wait in this very packet waits for the new group's decision.
    if (m_bDeferredDrop && m_nDeferredAt < m_nPacketPos) {
        ReportDropped(m_nDeferredDropPos);
        m_bDeferredDrop = false;
    }
}

void SceneSplitter::OnStartCode(std::uint32_t code, bool& broken) {
    if (code == PICTURE_START_CODE) {
        // The picture that just ended is broken unless it had exactly the camcorder's slices.
        if (m_nSlices != -1 && m_nSlices != SLICES_PER_PICTURE && !broken) {
            broken = true;
            m_nBrokenPos = m_nPictureStartPos;
        }
        m_nSlices = 0;
        if (m_nPictures != -1) {
            ++m_nPictures;
        }
        m_nPictureStartPos = m_nPacketPos;
        m_tally.AddPicture(m_nPacketPos);
        if (m_pHealth) {
            m_pHealth->OnPicture();
        }
        return;
    }
    const std::uint8_t low = code & 0xFF;
    if (m_nSlices != -1 && low >= SLICE_START_MIN && low <= SLICE_START_MAX) {
        ++m_nSlices;
    }
}

void SceneSplitter::CountPictures(const std::uint8_t* begin, const std::uint8_t* end) {
    if (end > m_pReadEnd) {
        end = m_pReadEnd;
    }
    if (begin >= end) {
        return;
    }
    int expected = 0;  // unknown
    if (m_nGops12 > 0 || m_nGops15 > 0) {
        expected = m_nGops12 < m_nGops15 ? kGopLength15 : kGopLength12;
    }

    // This is the hot loop of a split: almost every byte of a tape is video payload. The first
    // three bytes still combine with the bytes of earlier packets, so they go through the shift
    // register one by one; from there on a start code lies wholly inside this payload, and a
    // search for its 00 00 01 prefix finds exactly the places where the register would match.
    bool broken = false;
    const std::size_t size = static_cast<std::size_t>(end - begin);
    std::uint32_t code = m_startCode;
    const std::size_t head = std::min<std::size_t>(size, 3);
    for (std::size_t i = 0; i < head; ++i) {
        code = (code << 8) | begin[i];
        if ((code >> 8) == START_CODE_PREFIX) {
            OnStartCode(code, broken);
        }
    }
    if (size > 3) {
        ForEachStartCode(begin, size, [&](std::uint8_t last) {
            OnStartCode((START_CODE_PREFIX << 8) | last, broken);
        });
        code = (std::uint32_t(end[-4]) << 24) | (std::uint32_t(end[-3]) << 16) |
               (std::uint32_t(end[-2]) << 8) | end[-1];
    }
    m_startCode = code;

    if (m_bMidScenesOk && broken) {
        // A broken picture right at a group boundary may be the end of a recording: its count
        // waits for the group's scene decision.
        m_bDeferredDrop =
            m_nPictures == 1 || m_nPictures == -1 || expected == 0 || m_nPictures >= expected;
        if (m_bDeferredDrop) {
            m_nDeferredDropPos = m_nBrokenPos;
            m_nDeferredAt = m_nPacketPos;
        }
    }
    if (broken && !m_bDeferredDrop) {
        ReportDropped(m_nBrokenPos);
    }
}

void SceneSplitter::ScanPictureGroup() {
    const auto available = [this] {
        return m_pCur <= m_pReadEnd ? static_cast<std::size_t>(m_pReadEnd - m_pCur) : 0;
    };
    const std::size_t lookahead = static_cast<std::size_t>(m_nLookaheadBytes);
    if (available() < lookahead) {
        Refill(true);  // moves the current packet; its parsed record moves along with it
        if (available() < lookahead || m_pPacket->packet != m_pCur) {
            return;
        }
    }

    // Only the first few packets after a PES start are searched for the group header.
    std::uint32_t s = 0xFFFFFFFFu;
    bool found = false;
    int flagCountdown = 0;  // bytes still to go until the one that holds closed_gop
    bool closed = false;
    bool flagRead = false;
    std::uint8_t* p = m_pCur;
    const std::uint8_t* const limit = m_pCur + lookahead;
    for (int i = 1; i < m_nLookaheadPackets && p < limit && !flagRead; ++i) {
        const PacketInfo& info = *m_pPacket;
        if (info.pid == PID_VIDEO && info.payload != nullptr) {
            const std::uint8_t* const packetEnd = info.packet + PKT_SIZE;
            for (const std::uint8_t* q = info.payload; q < packetEnd; ++q) {
                if (found) {
                    if (--flagCountdown == 0) {
                        closed = (*q & CLOSED_GOP_BIT) != 0;
                        flagRead = true;
                        break;
                    }
                    continue;
                }
                s = (s << 8) | *q;
                if (s == SEQUENCE_END_CODE) {
                    break;
                }
                if (s == GROUP_START_CODE) {
                    found = true;
                    flagCountdown = static_cast<int>(GOP_FLAGS_BYTE);
                }
            }
        }
        if (flagRead) {
            break;
        }
        p = Resync(p + PKT_SIZE);
        if (!WholePacketAt(p)) {
            break;
        }
        ParsePacket(p, true);
    }
    if (!found) {
        return;
    }
    if (!m_bSyncAV) {
        CountDropNotForgiven();
    }
    if (m_pHealth && !m_bSyncAV) {
        // The sync mode may still cut at the group before; it says when it is done.
        m_pHealth->OnGroupEnds();
    }
    // A header whose flag byte lies beyond reach is taken as an open group.
    m_pGopStart = m_pVideoLastStart;
    m_nGopState = 1 + ((flagRead && closed) ? 1 : 0);
    m_nDatePackets = 0;
    if (m_nPictures == kGopLength12) {
        ++m_nGops12;
    } else if (m_nPictures == kGopLength15) {
        ++m_nGops15;
    }
    m_nPictures = 0;
    if (!m_bGroupFound) {
        m_bGroupFound = true;
        // The group's own first packet is counted too.
        if (!m_bSyncAV && m_nVideoBeforeGroup > 1) {
            KeepFragmentApart();
        }
    }
}

void SceneSplitter::KeepFragmentApart() {
    if (!SceneOpen() && m_pPendBegin != nullptr && m_pPendBegin < m_pGopStart) {
        OpenNextFile(nullptr, true);
    }
    if (SceneOpen()) {
        Refill(false);  // up to the group's cut, which stays pending for the scene decision
        CloseOutFile();
    }
}

bool SceneSplitter::DecodeRecordingDate() {
    // A pack whose date would lie outside the packet carries no date at all.
    auto date = std::make_unique<RecordingDate>();
    if (!DecodeDatePack(m_pPacket->packet, *date)) {
        return false;
    }
    m_tally.AddDate(m_nPacketPos, *date);
    if (m_pHealth) {
        m_pHealth->OnDate();
    }
    if (!m_firstDate) {
        m_firstDate = *date;
    }
    m_pPrevDate = std::move(m_pCurDate);
    m_pCurDate = std::move(date);
    ++m_nDatePackets;
    return true;
}

void SceneSplitter::CheckSceneChange() {
    if (m_nGopState == 0) {
        return;
    }
    m_bDateJump = false;
    m_bScenePending = false;
    if (m_pPrevDate && m_pCurDate) {
        m_bDateJump = IsDateJump(*m_pPrevDate, *m_pCurDate);
    }

    if (m_nGopState == 2) {
        // A closed group that carries a second date pack starts a new recording.
        if (m_bDateJump || m_nDatePackets >= 2) {
            m_bScenePending = true;
            m_bSkipNextOpenCheck = true;
        }
        if (m_bSyncAV || !m_bScenePending) {
            return;
        }
        CutScenePlain();
        m_bScenePending = false;
        m_bDeferredDrop = false;
        m_nGopState = 0;
        m_pGopStart = nullptr;
        if (m_bDateJump) {
            m_bSkipNextOpenCheck = false;
        }
        return;
    }

    if (m_bSkipNextOpenCheck) {
        m_bSkipNextOpenCheck = false;
        return;
    }
    if (!m_pPrevDate || m_bDateJump) {
        m_bScenePending = true;
    }
    if (m_bSyncAV) {
        return;
    }
    if (m_bScenePending) {
        CutScenePlain();
        // A broken picture at the end of a recording is no dropped picture.
        m_bDeferredDrop = false;
    } else if (m_bDeferredDrop) {
        ReportDropped(m_nDeferredDropPos);
        m_bDeferredDrop = false;  // counted once, not again at every later decision
    }
    if (m_pHealth && !m_bScenePending) {
        // Decided before the group's bytes may go out: its findings are filed while they wait.
        m_pHealth->OnGroupKept();
    }
    m_nGopState = 0;
    m_pGopStart = nullptr;
    m_bScenePending = false;
}

// A new file may start only at a picture group: everything before the waiting group's cut
// position belongs to the scene before it.
void SceneSplitter::CutScenePlain() {
    if (m_pHealth) {
        m_pHealth->OnSceneCut();
    }
    if (!SceneOpen() && m_pPendBegin != nullptr && m_pGopStart != nullptr &&
        m_pPendBegin < m_pGopStart) {
        // The scene before this one never got a file of its own (it never had a decision, or
        // it has no date at all). Give it one, named after its first date if it has one,
        // rather than letting its bytes run into the new scene's file or go nowhere; the log
        // names it before the change, as it came first.
        OpenNextFile(m_pPrevDate ? FirstSceneDate() : nullptr);
    }
    if (m_pPrevDate) {
        Log("Scene change detected.");
    }
    // Whatever file is open, also one that a first write opened before any date was seen, is
    // finished up to the cut; only data that never went to a file is dropped.
    if (SceneOpen()) {
        Refill(false);
        CloseOutFile();
    } else {
        DiscardBeforeCut();
    }
    OpenNextFile(m_pCurDate.get());
}

}  // namespace vornak
