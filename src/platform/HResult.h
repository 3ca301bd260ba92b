// Result codes of the media framework layer. Values are those of COM and DirectShow, so that
// logs and tests speak the same numbers as the rest of the world.
#pragma once

#include <cstdint>

namespace vornak {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;

constexpr bool Succeeded(HRESULT hr) {
    return hr >= 0;
}
constexpr bool Failed(HRESULT hr) {
    return hr < 0;
}

constexpr HRESULT MakeResult(std::uint32_t value) {
    return static_cast<HRESULT>(value);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeResult(0x80004003u);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);

inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = MakeResult(0x00040103u);
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeResult(0x80040204u);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeResult(0x80040207u);
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = MakeResult(0x80040208u);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = MakeResult(0x80040209u);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = MakeResult(0x8004020Au);
inline constexpr HRESULT VFW_E_BUFFER_OVERFLOW = MakeResult(0x8004020Du);
inline constexpr HRESULT VFW_E_BADALIGN = MakeResult(0x8004020Eu);
inline constexpr HRESULT VFW_E_ALREADY_COMMITTED = MakeResult(0x8004020Fu);
inline constexpr HRESULT VFW_E_BUFFERS_OUTSTANDING = MakeResult(0x80040210u);
inline constexpr HRESULT VFW_E_NOT_COMMITTED = MakeResult(0x80040211u);
inline constexpr HRESULT VFW_E_SIZENOTSET = MakeResult(0x80040212u);
inline constexpr HRESULT VFW_E_NOT_FOUND = MakeResult(0x80040216u);
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = MakeResult(0x80040249u);
inline constexpr HRESULT VFW_E_NOT_STOPPED = MakeResult(0x80040224u);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeResult(0x80040227u);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeResult(0x8004022Au);
inline constexpr HRESULT VFW_E_TIMEOUT = MakeResult(0x8004022Eu);

}  // namespace vornak
