// Globally unique identifiers: interface ids, class ids, media major types and subtypes.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vornak {

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    friend bool operator==(const GUID&, const GUID&) = default;
};

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

// Registry form: "{E436EB83-524F-11CE-9F53-0020AF0BA770}".
std::string GuidToString(const GUID& guid);

}  // namespace vornak
