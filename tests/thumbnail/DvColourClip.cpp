#include "DvColourClip.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "TestSupport.h"

namespace vornak::test {

namespace {

constexpr std::uint8_t kStaInErrorBits = dv::kStaNotConcealed << dv::kVideoStaShift;

}  // namespace

std::vector<std::uint8_t> MakeDvClip(const std::string& scratch, const DvClip& clip) {
    const bool pal = clip.system == dv::DvSystem::k625_50;
    char colour[16];
    std::snprintf(colour, sizeof colour, "0x%02X%02X%02X", clip.colour.red, clip.colour.green,
                  clip.colour.blue);
    const std::string command =
        std::string("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i color=c=") +
        colour + (pal ? ":size=720x576:rate=25" : ":size=720x480:rate=30000/1001") + " -frames:v " +
        std::to_string(clip.frames) + " -aspect " + clip.aspect + " -target " +
        (pal ? "pal-dv" : "ntsc-dv") + " -f dv '" + scratch + "'";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    std::vector<std::uint8_t> frames = ReadAll(scratch);
    std::remove(scratch.c_str());
    return frames;
}

void MarkFrameInError(std::vector<std::uint8_t>& frames, dv::DvSystem system, std::size_t frame) {
    const std::size_t start = frame * dv::FrameSizeOf(system);
    for (int s = 0; s < dv::SequencesOf(system); ++s) {
        for (std::size_t a = 0; a < dv::kAudioBlocks; ++a) {
            for (std::size_t v = 1; v <= dv::kVideoBlocksPerAudio; ++v) {
                const std::size_t block =
                    start + dv::SequenceOffset(s) + dv::BlockOffset(dv::AudioBlock(a) + v);
                frames.at(block + dv::kVideoStaByte) |= kStaInErrorBits;
            }
        }
    }
}

void DropVideoControlPacks(std::vector<std::uint8_t>& frames, dv::DvSystem system) {
    const std::size_t frameSize = dv::FrameSizeOf(system);
    for (std::size_t start = 0; start + frameSize <= frames.size(); start += frameSize) {
        for (int s = 0; s < dv::SequencesOf(system); ++s) {
            for (std::size_t b = 0; b < dv::kVauxBlocks; ++b) {
                const std::size_t block =
                    start + dv::SequenceOffset(s) + dv::BlockOffset(dv::kFirstVauxBlock + b);
                for (std::size_t p = 0; p < dv::kPacksPerVauxBlock; ++p) {
                    std::uint8_t* pack = &frames[block + dv::kIdSize + p * dv::kPackSize];
                    if (pack[0] == dv::kPackVideoControl) {
                        std::fill(pack, pack + dv::kPackSize, dv::kPackNone);
                    }
                }
            }
        }
    }
}

}  // namespace vornak::test
