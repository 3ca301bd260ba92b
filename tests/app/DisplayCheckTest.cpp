// Whether a display can be reached is decided before Qt is started: the platform asked for
// (argument, then QT_QPA_PLATFORM) and the displays in the environment; without one, `vornak`
// says so and exits 1 instead of aborting inside Qt.
#include "DisplayCheck.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace vornak {
namespace {

TEST(DisplayCheck, PlatformAndDisplaysDecide) {
    struct Case {
        std::string platform;
        const char* display;
        const char* wayland;
        bool available;
    };
    const Case cases[] = {
        {"", nullptr, nullptr, false},
        {"", "", "", false},
        {"", ":0", nullptr, true},
        {"", nullptr, "wayland-0", true},
        {"xcb", nullptr, "wayland-0", false},
        {"xcb", ":1", nullptr, true},
        {"wayland", ":1", nullptr, false},
        {"wayland-egl", nullptr, "wayland-1", true},
        {"wayland;xcb", ":0", nullptr, true},
        {"wayland;xcb", nullptr, nullptr, false},
        {"offscreen", nullptr, nullptr, true},
        {"offscreen:fontengine=freetype", nullptr, nullptr, true},
        {"vnc:size=800x600", nullptr, nullptr, true},
        {"xcb;offscreen", nullptr, nullptr, true},
        {";", ":0", nullptr, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayAvailable(c.platform, c.display, c.wayland), c.available)
            << "'" << c.platform << "' DISPLAY=" << (c.display ? c.display : "(unset)")
            << " WAYLAND_DISPLAY=" << (c.wayland ? c.wayland : "(unset)");
    }
}

TEST(DisplayCheck, TheArgumentWinsOverTheEnvironment) {
    std::string program = "vornak";
    std::string flag = "-platform";
    std::string name = "offscreen";
    std::vector<char*> argv{program.data(), flag.data(), name.data()};
    EXPECT_EQ(ChosenPlatform(3, argv.data(), "xcb"), "offscreen");
    EXPECT_EQ(ChosenPlatform(2, argv.data(), "xcb"), "xcb");  // -platform without its value
    EXPECT_EQ(ChosenPlatform(1, argv.data(), nullptr), "");
}

TEST(DisplayCheck, TheProgramWithoutADisplayExitsOneWithAReason) {
    test::TempDir dir;
    const std::string output = dir.File("output");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                                std::string(VORNAK_PROGRAM) + "' >'" + output + "' 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::vector<std::uint8_t> bytes = test::ReadAll(output);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "vornak: cannot open the display (is DISPLAY or WAYLAND_DISPLAY set?); "
              "vornak-split and vornak-capture work without one.\n");
}

}  // namespace
}  // namespace vornak
