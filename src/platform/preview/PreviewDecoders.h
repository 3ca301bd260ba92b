// Makes the preview path's filters available: the MPEG-2 demultiplexer to CoCreateInstance, and
// the two decoders to the graph, which inserts them between a demultiplexer pin and a renderer
// that do not connect directly.
#pragma once

#include "Guid.h"

namespace vornak {

// Class ids of the decoders: ours, as no published id names these FFmpeg-based filters.
inline constexpr CLSID CLSID_VornakMpeg2VideoDecoder{
    0x3D174557, 0x3E94, 0x4CF0, {0xBC, 0x0C, 0x8E, 0x34, 0x3E, 0xC7, 0x5C, 0x96}};
inline constexpr CLSID CLSID_VornakMpegAudioDecoder{
    0x01E68384, 0x9CAA, 0x47F7, {0xB6, 0x05, 0xBA, 0xA1, 0x43, 0x19, 0x3A, 0xA0}};

inline constexpr const char* kMpeg2VideoDecoderName = "MPEG-2 Video Decoder";
inline constexpr const char* kMpegAudioDecoderName = "MPEG Audio Decoder";

// Registers the demultiplexer's class factory and both decoders as converters. Calling it again
// changes nothing.
void RegisterPreviewDecoders();

}  // namespace vornak
