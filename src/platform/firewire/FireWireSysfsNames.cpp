#include "FireWireSysfsNames.h"

#include <fstream>
#include <system_error>
#include <utility>

namespace vornak {
namespace {

constexpr int kHexBase = 16;

// The first line of a small attribute file, without trailing blanks; empty when unreadable.
std::string ReadAttribute(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return {};
    }
    const auto end = line.find_last_not_of(" \t\r\n");
    line.erase(end == std::string::npos ? 0 : end + 1);
    return line;
}

std::optional<std::uint64_t> ParseGuid(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::size_t used = 0;
    try {
        const std::uint64_t value = std::stoull(text, &used, kHexBase);
        return used == text.size() ? std::optional<std::uint64_t>(value) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

FireWireSysfsNames::FireWireSysfsNames(std::filesystem::path root) : m_root(std::move(root)) {}

std::optional<FireWireSysfsNames::Names> FireWireSysfsNames::Find(std::uint64_t guid) const {
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_root, error), end; !error && it != end;
         it.increment(error)) {
        const std::filesystem::path device = it->path();
        if (ParseGuid(ReadAttribute(device / "guid")) != guid) {
            continue;
        }
        return Names{ReadAttribute(device / "vendor_name"), ReadAttribute(device / "model_name")};
    }
    return std::nullopt;
}

}  // namespace vornak
