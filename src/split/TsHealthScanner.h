// Looks for damage in an HDV transport stream as the scene job walks it: packets lost on the
// video and sound, broken pictures, picture groups without a recording date, jumps in the
// groups' time codes, sequence headers that change within a scene and, when asked, pictures the
// decoder cannot decode. Each finding goes to the job's scene tally with the stream position of
// the packet it belongs to, so that it lands in the scene those bytes went to.
//
// It reads no more than the job hands it: the packets it walks (a file's or a capture's, it
// does not matter), and only the first bytes of each video PES packet, where HDV puts its
// sequence, group and picture headers. Pictures are counted by the job's own start-code search.
//
// Whether a group starts a new scene is only known after its headers have gone by: its time
// code and sequence header are judged when the job has decided (or the next group begins), and
// a group that starts a scene is not compared with the scene before.
//
// Threading: the job's thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ContinuityCheck.h"
#include "PacketInfo.h"
#include "SceneTally.h"
#include "VideoDecodeCheck.h"

namespace vornak {

class TsHealthScanner {
  public:
    // Pictures per second of the time codes (HDV 1080i at 50 fields).
    static constexpr std::int64_t kPicturesPerSecond = 25;
    static constexpr std::int64_t kPicturesPerDay = kPicturesPerSecond * 60 * 60 * 24;

    // `makeDecodeCheck` may be empty: then pictures are not decoded.
    TsHealthScanner(SceneTally& tally, const VideoDecodeCheckMaker& makeDecodeCheck);
    ~TsHealthScanner();
    TsHealthScanner(const TsHealthScanner&) = delete;
    TsHealthScanner& operator=(const TsHealthScanner&) = delete;

    // A video or sound packet the job walked (with its payload found, or null); `pos` is its
    // position in the tally, `offset` where it lies in the input.
    void OnPacket(const PacketInfo& info, std::uint64_t pos, std::int64_t offset);
    // A picture begins in the packet given last.
    void OnPicture();
    // The group being read has a readable recording date.
    void OnDate();
    // The picture that began at tally position `pos` is broken.
    void OnBroken(std::uint64_t pos);
    // The job has found a new group and the decision on the group before it is final.
    void OnGroupEnds();
    // The job has decided that the newest group carries on its scene.
    void OnGroupKept();
    // A new scene begins at the group whose decision was open.
    void OnSceneCut();
    // The input ends: whatever still waits is judged and filed.
    void Finish();

  private:
    // A place in the stream, before the tally knows its scene and picture.
    struct Place {
        std::uint64_t pos = 0;
        std::int64_t offset = -1;
        std::optional<std::int64_t> timecode;  // pictures since midnight
    };
    struct Group {
        bool valid = false;
        bool judged = false;
        bool cut = false;  // starts a scene
        bool dated = false;
        Place place;
        std::optional<std::int64_t> timecode;
        std::optional<std::int64_t> expected;  // the time code the group before leads to
        std::optional<std::uint64_t> sequence;
        std::int64_t pictures = 0;
    };
    struct Recent {
        std::uint64_t key = 0;  // a packet number, a picture's position or a PES packet's tag
        bool used = false;
        Place place;
    };
    static constexpr std::size_t kRecent = 64;
    using RecentRing = std::array<Recent, kRecent>;
    static void Remember(RecentRing& ring, std::size_t& next, std::uint64_t key,
                         const Place& place);
    static const Place* Find(const RecentRing& ring, std::uint64_t key);

    void ScanHeaders(const std::uint8_t* begin, const std::uint8_t* end);
    void OnHeaderFields();
    void StartGroup(std::optional<std::int64_t> timecode);
    void Judge(Group& group);
    void Raise(HealthKind kind, std::uint64_t count, const Place& place);
    void TakeDecodeFailures();

    SceneTally& m_tally;
    Place CurrentPlace() const { return Place{m_packetPos, m_packetOffset, m_pictureTimecode}; }
    std::uint64_t m_packetPos = 0;  // the packet given last
    std::int64_t m_packetOffset = -1;

    // Packets lost: only the video and sound are followed. The tables are sent again and again,
    // a lost date pack is a group without one, and losses elsewhere harm no picture or sound.
    ContinuityCheck m_continuity;
    std::uint64_t m_packetsChecked = 0;
    RecentRing m_jumps{};
    std::size_t m_nextJump = 0;

    // The headers at a video PES packet's start.
    bool m_bScanning = false;
    std::size_t m_scanLeft = 0;
    std::uint32_t m_code = 0xFFFFFFFFu;
    std::uint8_t m_fieldsOf = 0;  // the start code whose fields are being gathered, or 0
    std::array<std::uint8_t, 8> m_fields{};
    std::size_t m_fieldsHave = 0;
    std::size_t m_fieldsNeed = 0;
    Place m_pesPlace;  // the first packet of the video PES packet read now
    std::optional<std::uint64_t> m_nextSequence;

    Group m_previous;  // waits for the job's decision
    Group m_current;   // being read
    std::optional<std::uint64_t> m_sceneSequence;
    std::optional<std::int64_t> m_pictureTimecode;

    RecentRing m_pictures{};
    std::size_t m_nextPicture = 0;

    std::unique_ptr<VideoDecodeCheck> m_decode;
    std::uint64_t m_pesTag = 0;
    RecentRing m_pes{};
    std::size_t m_nextPes = 0;
    bool m_bPesTimecodeDue = false;
    std::vector<std::uint64_t> m_failed;
};

}  // namespace vornak
