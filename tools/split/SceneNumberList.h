// The scenes `vornak-split --scenes` writes: numbers and ranges as "0,2-4", numbered as
// --list-scenes numbers them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vornak {

class SceneNumberList {
  public:
    // Numbers ("3") and ranges ("2-4") separated by commas; nullopt with `error` set when the
    // text is not such a list.
    static std::optional<SceneNumberList> Parse(const std::string& text, std::string& error);

    bool Contains(std::int32_t number) const;
    // The listed numbers an input of `sceneCount` scenes does not have, as a list in the same
    // form ("7, 9-12"); empty when it has them all.
    std::string Missing(std::int32_t sceneCount) const;

  private:
    struct Range {
        std::int32_t first;
        std::int32_t last;
    };
    std::vector<Range> m_ranges;  // sorted, neither overlapping nor touching
};

}  // namespace vornak
