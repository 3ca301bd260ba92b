// The AV/C numbers the FireWire backend speaks: command and response quadlets of the tape
// recorder (VCR) subunit, its transport states, and where a node's GUID sits in its
// configuration ROM. The values are those of the AV/C and IEEE 1212 documents; the
// pass-through checks them against libavc1394's own definitions when it is compiled.
#pragma once

#include <cstdint>

namespace vornak::avc {

// Command types and response codes sit in bits 24..27 of the first quadlet.
inline constexpr std::uint32_t kCtypeControl = 0x00000000;
inline constexpr std::uint32_t kCtypeStatus = 0x01000000;
inline constexpr std::uint32_t kResponseMask = 0x0F000000;
inline constexpr std::uint32_t kResponseNotImplemented = 0x08000000;
inline constexpr std::uint32_t kResponseAccepted = 0x09000000;
inline constexpr std::uint32_t kResponseRejected = 0x0A000000;
inline constexpr std::uint32_t kResponseInTransition = 0x0B000000;
inline constexpr std::uint32_t kResponseStable = 0x0C000000;
// avc1394_transaction's answer when no response came at all.
inline constexpr std::uint32_t kNoResponse = 0xFFFFFFFF;
// Attempts after the first, as libavc1394's own VCR functions use.
inline constexpr int kRetries = 2;

// Subunit type 4 (tape recorder), id 0, in bits 16..23.
inline constexpr std::uint32_t kSubunitVcr = 4u << 19;
inline constexpr int kSubunitTypeVcr = static_cast<int>(kSubunitVcr);

// Opcodes (bits 8..15). In a transport state response the opcode field tells the state.
inline constexpr std::uint32_t kOpcodeMask = 0x0000FF00;
inline constexpr std::uint32_t kOperandMask = 0x000000FF;
inline constexpr std::uint32_t kOpcodeLoadMedium = 0xC100;
inline constexpr std::uint32_t kOpcodeRecord = 0xC200;
inline constexpr std::uint32_t kOpcodePlay = 0xC300;
inline constexpr std::uint32_t kOpcodeWind = 0xC400;
inline constexpr std::uint32_t kOpcodeTransportState = 0xD000;
inline constexpr std::uint32_t kOperandTransportStateInquiry = 0x7F;

// PLAY operands.
inline constexpr std::uint32_t kPlayNextFrame = 0x30;
inline constexpr std::uint32_t kPlaySlowestForward = 0x31;
inline constexpr std::uint32_t kPlayX1Forward = 0x38;
inline constexpr std::uint32_t kPlayFastestForward = 0x3F;
inline constexpr std::uint32_t kPlayPreviousFrame = 0x40;
inline constexpr std::uint32_t kPlayFastestReverse = 0x4F;
inline constexpr std::uint32_t kPlayReverse = 0x65;
inline constexpr std::uint32_t kPlayReversePause = 0x6D;
inline constexpr std::uint32_t kPlayForward = 0x75;
inline constexpr std::uint32_t kPlayForwardPause = 0x7D;
// WIND operands.
inline constexpr std::uint32_t kWindHighSpeedRewind = 0x45;
inline constexpr std::uint32_t kWindStop = 0x60;
inline constexpr std::uint32_t kWindRewind = 0x65;
inline constexpr std::uint32_t kWindFastForward = 0x75;

// A control command of the VCR subunit.
constexpr std::uint32_t VcrControl(std::uint32_t opcode, std::uint32_t operand) {
    return kCtypeControl | kSubunitVcr | opcode | operand;
}
// The status inquiry that avc1394_vcr_status sends.
inline constexpr std::uint32_t kTransportStateInquiry =
    kCtypeStatus | kSubunitVcr | kOpcodeTransportState | kOperandTransportStateInquiry;

// The signal the tape recorder plays out: a status inquiry whose answer carries the signal
// mode in operand 0. The MPEG-2 transport stream modes (HDV) are 0x10 and 0x1A, with the
// 50-field variants (bit 7) 0x90 and 0x9A; every other mode a camcorder gives (0x00, 0x80,
// 0x04, 0x84, ...) is DV.
inline constexpr std::uint32_t kOpcodeOutputSignalMode = 0x7800;
inline constexpr std::uint32_t kOperandInquiry = 0xFF;
inline constexpr std::uint32_t kOutputSignalModeInquiry =
    kCtypeStatus | kSubunitVcr | kOpcodeOutputSignalMode | kOperandInquiry;
inline constexpr std::uint32_t kSignalModeFieldsBit = 0x80;
inline constexpr std::uint32_t kSignalModeMpegTs = 0x10;
inline constexpr std::uint32_t kSignalModeMpegTsHd = 0x1A;

// AV/C units in the unit directory: specifier 1394 TA, software versions 0x01xxxx.
inline constexpr std::uint32_t kUnitSpecId1394Ta = 0x00A02D;
inline constexpr std::uint32_t kUnitSwVersionAvcFamily = 0x01;
inline constexpr int kUnitSwVersionFamilyShift = 16;

// Full node ids on the local bus, and the bus info block's GUID quadlets.
inline constexpr std::uint16_t kLocalBusId = 0xFFC0;
inline constexpr std::uint16_t kPhysicalIdMask = 0x003F;
inline constexpr std::uint64_t kConfigRomGuidHigh = 0xFFFFF000040CULL;
inline constexpr std::uint64_t kConfigRomGuidLow = 0xFFFFF0000410ULL;

constexpr std::uint16_t NodeId(int node) {
    return static_cast<std::uint16_t>(kLocalBusId |
                                      (static_cast<unsigned>(node) & kPhysicalIdMask));
}

}  // namespace vornak::avc
