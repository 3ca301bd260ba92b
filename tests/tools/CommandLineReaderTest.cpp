#include "CommandLineReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornak {
namespace {

// What the reader handed on, in order: "file:X" for an operand, "NAME" for an option without a
// value, "NAME=VALUE" for one with, "help" and "version" for the standard switches.
struct Reading {
    bool ok = false;
    std::vector<std::string> events;
    std::string error;
};

// "--value" takes a value, "--stop" refuses itself, every other option is a plain switch.
Reading Read(const std::vector<std::string>& args) {
    Reading reading;
    StandardSwitches switches;
    reading.ok = ReadCommandLine(
        args, switches,
        [&](const std::string& operand) {
            reading.events.push_back("file:" + operand);
            return true;
        },
        [&](CommandLineOption& option) {
            if (option.Name() == "--stop") {
                reading.error = "stopped at " + option.Argument();
                return false;
            }
            if (option.Name() == "--value") {
                std::string value;
                if (!option.TakeValue(value, reading.error)) {
                    return false;
                }
                reading.events.push_back(option.Name() + "=" + value);
                return true;
            }
            if (!option.NoValue(reading.error)) {
                return false;
            }
            reading.events.push_back(option.Name());
            return true;
        },
        reading.error);
    if (switches.help) {
        reading.events.emplace_back("help");
    }
    if (switches.version) {
        reading.events.emplace_back("version");
    }
    return reading;
}

TEST(CommandLineReader, TellsOperandsFromOptionsAndTakesValues) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::vector<std::string> events;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"a.m2t", "-", "", "--flag", "b"},
         true,
         {"file:a.m2t", "file:-", "file:", "--flag", "file:b"},
         ""},
        // "--" ends the options once: a second one, and what looks like an option, are operands.
        {{"--flag", "--", "--flag", "--", "-x"},
         true,
         {"--flag", "file:--flag", "file:--", "file:-x"},
         ""},
        {{"-x"}, true, {"-x"}, ""},
        // A separate value is taken whatever it looks like, and is not read again as an option.
        {{"--value", "--flag", "c"}, true, {"--value=--flag", "file:c"}, ""},
        {{"--value=a=b", "--value="}, true, {"--value=a=b", "--value="}, ""},
        {{"--value"}, false, {}, "option --value needs a value"},
        {{"--flag=1"}, false, {}, "option --flag takes no value"},
        // Only a long option carries its value after '='.
        {{"-x=1"}, true, {"-x=1"}, ""},
        {{"--help", "a", "--version"}, true, {"file:a", "help", "version"}, ""},
        {{"--help=yes"}, false, {}, "option --help takes no value"},
        {{"--version=2"}, false, {}, "option --version takes no value"},
        // The first refusal ends the reading: nothing after it is looked at.
        {{"a", "--stop=now", "b", "--help"}, false, {"file:a"}, "stopped at --stop=now"},
    };
    for (const Case& c : cases) {
        const Reading reading = Read(c.args);
        std::string args;
        for (const std::string& arg : c.args) {
            args += " '" + arg + "'";
        }
        EXPECT_EQ(reading.ok, c.ok) << args;
        EXPECT_EQ(reading.events, c.events) << args;
        EXPECT_EQ(reading.error, c.error) << args;
    }
}

TEST(CommandLineReader, UsageErrorNamesTheProgramTwice) {
    EXPECT_EQ(UsageErrorText("vornak-split", "no input files"),
              "vornak-split: no input files\n"
              "Try 'vornak-split --help' for more information.\n");
}

}  // namespace
}  // namespace vornak
