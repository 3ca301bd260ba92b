// Finds MPEG start code prefixes (00 00 01) in a block of bytes, sixteen places at a time where
// the processor allows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vornak {

// Calls `onCode(byte)` for every 00 00 01 xx that lies wholly inside [data, data + size), in
// order, with xx, the start code's last byte.
template <typename OnCode>
inline void ForEachStartCode(const std::uint8_t* data, std::size_t size, OnCode&& onCode) {
    constexpr std::size_t kCodeSize = 4;
    if (size < kCodeSize) {
        return;
    }
    const std::size_t lastStart = size - kCodeSize;  // last place a whole code can begin
    std::size_t j = 0;
#if defined(__SSE2__)
    constexpr std::size_t kLanes = 16;
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    // Checks the codes that begin at at .. at + 15, leaving out those before `from` (already
    // checked); the furthest byte read is at + 17.
    const auto checkLanes = [&](std::size_t at, std::size_t from) {
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
        const __m128i z0 = _mm_cmpeq_epi8(b0, zero);
        if (_mm_movemask_epi8(z0) == 0) {
            return;
        }
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
        const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 2));
        const __m128i hit =
            _mm_and_si128(_mm_and_si128(z0, _mm_cmpeq_epi8(b1, zero)), _mm_cmpeq_epi8(b2, one));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)) >> (from - at) << (from - at);
        while (mask != 0) {
            const unsigned lane = static_cast<unsigned>(__builtin_ctz(mask));
            onCode(data[at + lane + 3]);
            mask &= mask - 1;
        }
    };
    // Compressed pictures hold few zero bytes, and a code begins with two of them: a block of
    // 32 bytes without any zero holds no code beginning inside it.
    for (; j + 2 * kLanes - 1 <= lastStart; j += 2 * kLanes) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + j));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + j + kLanes));
        const __m128i zeros = _mm_or_si128(_mm_cmpeq_epi8(lo, zero), _mm_cmpeq_epi8(hi, zero));
        if (_mm_movemask_epi8(zeros) == 0) {
            continue;
        }
        checkLanes(j, j);
        checkLanes(j + kLanes, j + kLanes);
    }
    // The rest in blocks of 16, the last one moved back to end at the last place a code can
    // begin, so that no byte-by-byte tail is needed.
    if (lastStart + 1 >= kLanes) {
        while (j <= lastStart) {
            const std::size_t at = std::min(j, lastStart + 1 - kLanes);
            checkLanes(at, j);
            j = at + kLanes;
        }
    }
#endif
    for (; j <= lastStart; ++j) {
        if (data[j] == 0 && data[j + 1] == 0 && data[j + 2] == 1) {
            onCode(data[j + 3]);
        }
    }
}

}  // namespace vornak
