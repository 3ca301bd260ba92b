// The registry of filters the graph may add: order of trial, replacement and roles.
#include "FilterRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornak {
namespace {

constexpr CLSID kFirst{0x1D7E0005, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x05}};
constexpr CLSID kSecond{0x1D7E0006, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x06}};
constexpr CLSID kRenderer{0x1D7E0007, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x07}};

// Names of this test's own converters, in the order the registry gives them.
std::vector<std::string> OwnConverters() {
    std::vector<std::string> names;
    for (const RegisteredFilter& filter : RegisteredFilters(FilterRole::Converter)) {
        if (filter.clsid == kFirst || filter.clsid == kSecond) {
            names.push_back(filter.name);
        }
    }
    return names;
}

class FilterRegistryTest : public ::testing::Test {
  protected:
    ~FilterRegistryTest() override {
        for (const CLSID& clsid : {kFirst, kSecond, kRenderer}) {
            UnregisterFilter(clsid);
        }
    }
};

TEST_F(FilterRegistryTest, KeepsTheOrderOfRegistrationThroughReplacements) {
    RegisterFilter({kFirst, "first", FilterRole::Converter, {}});
    RegisterFilter({kSecond, "second", FilterRole::Converter, {}});
    RegisterFilter({kRenderer, "renderer", FilterRole::Renderer, {}});
    EXPECT_EQ(OwnConverters(), (std::vector<std::string>{"first", "second"}));

    RegisterFilter({kFirst, "first, replaced", FilterRole::Converter, {}});
    EXPECT_EQ(OwnConverters(), (std::vector<std::string>{"first, replaced", "second"}));

    UnregisterFilter(kFirst);
    EXPECT_EQ(OwnConverters(), (std::vector<std::string>{"second"}));
    bool rendererListed = false;
    for (const RegisteredFilter& filter : RegisteredFilters(FilterRole::Renderer)) {
        rendererListed = rendererListed || filter.clsid == kRenderer;
    }
    EXPECT_TRUE(rendererListed);
}

}  // namespace
}  // namespace vornak
