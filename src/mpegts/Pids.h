// Every PID the program reads or writes. HDV camcorders put their program on fixed PIDs, so the
// split, the thumbnails, the capture's preview and the test tapes all name the same numbers.
#pragma once

#include <cstdint>

namespace vornak {

inline constexpr std::uint16_t PID_PAT = 0x0000;            // program association table
inline constexpr std::uint16_t PID_PMT = 0x0100;            // program map table
inline constexpr std::uint16_t PID_VIDEO = 0x810;           // MPEG-2 video
inline constexpr std::uint16_t PID_RECORDING_DATE = 0x811;  // recording date and time pack
inline constexpr std::uint16_t PID_AUDIO = 0x814;           // MPEG audio
inline constexpr std::uint16_t PID_AUDIO_2 = 0x815;         // further audio
inline constexpr std::uint16_t PID_NULL = 0x1FFF;           // stuffing; carries nothing
inline constexpr std::uint16_t PID_MAX = 0x1FFF;            // thirteen bits

}  // namespace vornak
