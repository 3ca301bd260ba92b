// Result codes of the media framework layer. Values are those of COM and DirectShow, so that
// logs and tests speak the same numbers as the rest of the world.
#pragma once

#include <cstdint>

namespace vornak {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using WORD = std::uint16_t;
using LONGLONG = std::int64_t;
using LONG_PTR = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

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
inline constexpr HRESULT E_ABORT = MakeResult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeResult(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeResult(0x800401F0u);
// The device went away or does not answer (HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED)).
inline constexpr HRESULT E_DEVICE_NOT_CONNECTED = MakeResult(0x8007048Fu);

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
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeResult(0x80040217u);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = MakeResult(0x80040218u);
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = MakeResult(0x80040249u);
inline constexpr HRESULT VFW_E_NOT_STOPPED = MakeResult(0x80040224u);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeResult(0x80040227u);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeResult(0x8004022Au);
inline constexpr HRESULT VFW_E_TIMEOUT = MakeResult(0x8004022Eu);
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = MakeResult(0x8004025Fu);

}  // namespace vornak
