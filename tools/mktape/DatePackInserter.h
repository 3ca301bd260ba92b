// Adds the camcorder's recording-date packs to a transport stream made elsewhere (an ffmpeg
// clip, say), so that a stream a decoder can show also splits into scenes.
//
// Every input packet is copied unchanged and in order. After each video packet (PID 0x810) in
// which a picture-group header begins, one date pack on PID 0x811 follows: the engine reads the
// date of the first pack after a group header, so that is where a camcorder's pack has to be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "TapeWriter.h"

namespace vornak::tape {

struct DateInsertOptions {
    DateTime start;                   // recording date of the first picture group
    bool cut = false;                 // start a second scene at cutAfterTicks
    std::uint64_t cutAfterTicks = 0;  // 90 kHz, from the first picture group
};

class DatePackInserter {
  public:
    // The date moves by this much where --cut-after starts the second scene, far beyond what
    // the engine takes for one recording.
    static constexpr std::int64_t kSceneJumpSeconds = 3600;
    static constexpr std::uint64_t kTicksPerSecond = 90000;

    explicit DatePackInserter(DateInsertOptions options = {});

    // Takes the next input bytes, in pieces of any size, and appends to `out` what can be
    // written so far (a packet that may hold the start of a group header waits for the video
    // packet that completes it). False, with Error() set, when the input is no stream of
    // 188-byte transport packets or already carries date packs; nothing is taken after that.
    bool Feed(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);
    // End of input: appends what was held back. False when the input ended inside a packet or
    // held no picture-group header at all.
    bool Finish(std::vector<std::uint8_t>& out);

    // Reads the file `input` and writes `output`, which must not exist yet. On failure the
    // output is removed and Error() names the file at fault.
    bool InsertFile(const std::string& input, const std::string& output);

    const std::string& Error() const { return m_error; }
    std::uint64_t PacketsIn() const { return m_packetsIn; }
    std::uint64_t DatePacks() const { return m_packsOut; }
    // 2 once a group after the first was moved by the cut.
    int Scenes() const { return m_cutDone && m_cutGroup > 0 ? 2 : 1; }

  private:
    // Where one elementary-stream byte came from: its packet (counted from 0) and the
    // presentation time of its PES packet (or of the last video PES packet that had one).
    struct Origin {
        std::uint64_t packet = 0;
        bool hasPts = false;
        std::uint64_t pts = 0;
    };
    struct Scheduled {
        std::uint64_t afterPacket = 0;
        DateTime date;
    };
    static constexpr std::size_t kCodeTail = 3;  // bytes of a start code before its last

    bool TakePacket(const std::uint8_t* pkt, std::vector<std::uint8_t>& out);
    void ScanVideo(const std::uint8_t* pkt, std::uint64_t index);
    void OnGroupHeader(const Origin& first);
    std::uint64_t HoldFrom() const;
    void Release(std::uint64_t before, std::vector<std::uint8_t>& out);
    bool Fail(const std::string& message);

    DateInsertOptions m_options;
    std::string m_error;
    bool m_failed = false;
    std::vector<std::uint8_t> m_partial;  // a packet begun in one Feed and ended in the next
    std::uint64_t m_packetsIn = 0;

    // Packets not written yet: from m_heldFirst on, in input order.
    std::vector<std::uint8_t> m_held;
    std::uint64_t m_heldFirst = 0;
    std::deque<Scheduled> m_scheduled;
    std::uint64_t m_packsOut = 0;
    std::uint8_t m_continuity = 0;

    // Video elementary stream: the last four bytes and where the last three came from.
    std::uint32_t m_code = 0xFFFFFFFFu;
    Origin m_tail[kCodeTail];
    bool m_hasPts = false;
    std::uint64_t m_pts = 0;

    // Dates.
    std::uint64_t m_groups = 0;
    bool m_hasFirstPts = false;
    std::uint64_t m_firstPts = 0;
    std::int64_t m_elapsedTicks = 0;
    bool m_cutDone = false;
    std::uint64_t m_cutGroup = 0;  // the first group moved, counted from 0
};

}  // namespace vornak::tape
