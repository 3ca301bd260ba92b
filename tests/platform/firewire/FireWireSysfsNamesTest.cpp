// Names from the kernel's device directory: found by GUID among other devices and units, and
// nothing (without an exception) where the tree is missing or odd.
#include "FireWireSysfsNames.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TestSupport.h"

namespace vornak {
namespace {

class FireWireSysfsNamesTest : public ::testing::Test {
  protected:
    void Write(const std::string& relative, const std::string& text) const {
        const std::filesystem::path file = m_dir.File(relative);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }

    test::TempDir m_dir;
};

TEST_F(FireWireSysfsNamesTest, FindsTheDeviceWithTheGuidAmongOthers) {
    Write("fw0/guid", "0x0011060000000001\n");
    Write("fw0/vendor_name", "Linux Firewire\n");
    Write("fw0.0/specifier_id", "0x00a02d\n");  // a unit: no guid of its own
    Write("fw1/guid", "0x0000850001234567\n");
    Write("fw1/vendor_name", "Canon\n");
    Write("fw1/model_name", "HV20\n");

    const auto names = FireWireSysfsNames(m_dir.Path()).Find(0x0000850001234567);

    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(names->vendor, "Canon");
    EXPECT_EQ(names->model, "HV20");
}

TEST_F(FireWireSysfsNamesTest, MissingNamesAreEmptyAndAnUnknownGuidIsNone) {
    Write("fw1/guid", "0x0000850001234567\n");
    Write("fw2/guid", "not a number\n");

    const FireWireSysfsNames names(m_dir.Path());
    const auto found = names.Find(0x0000850001234567);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->vendor, "");
    EXPECT_EQ(found->model, "");
    EXPECT_FALSE(names.Find(0x1234).has_value());
    EXPECT_FALSE(FireWireSysfsNames(m_dir.File("missing")).Find(0x0000850001234567).has_value());
}

}  // namespace
}  // namespace vornak
