#include "SplitCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "DescriptorStreamBuffer.h"
#include "DvTestFrames.h"
#include "SplitRun.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using test::ListFiles;
using test::TempDir;

// Small pictures keep the tapes a few hundred kilobytes; the split does not care about size.
constexpr std::size_t kPictureBytes = 1500;

tape::SceneSpec Scene(int hour, int minute, int second, int gops = 4) {
    tape::SceneSpec scene;
    scene.start = tape::DateTime{2006, 5, 1, hour, minute, second};
    scene.gops = gops;
    return scene;
}

// A tape of two scenes, 14:03:59 and 15:00:00 (a jump of about an hour between them).
std::string WriteTwoSceneTape(const std::string& path) {
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    tape::TapeWriter writer(options);
    writer.AddScene(Scene(14, 3, 59));
    writer.AddScene(Scene(15, 0, 0));
    EXPECT_TRUE(writer.WriteFile(path)) << path;
    return path;
}

using test::RunResult;
using test::Split;

// A scratch folder for one test, with the time zone pinned while the engine compares dates.
struct Scratch {
    test::ScopedTimeZone tz{"UTC"};
    TempDir dir;
};

TEST(SplitCommand, ParsesDefaults) {
    SplitOptions options;
    std::string error;
    ASSERT_TRUE(ParseSplitArgs({"a.m2t", "b.ts"}, options, error)) << error;
    EXPECT_EQ(options.files, (std::vector<std::string>{"a.m2t", "b.ts"}));
    EXPECT_EQ(options.outputDir, "");
    EXPECT_FALSE(options.newName.has_value());
    EXPECT_TRUE(options.dateTimeNaming);
    EXPECT_EQ(options.dateFormat, "-%Y_%M_%D-%h_%m_%s");
    EXPECT_FALSE(options.sync);
    EXPECT_FALSE(options.quiet);
    EXPECT_FALSE(options.help);
}

TEST(SplitCommand, ParsesEveryOptionInBothForms) {
    SplitOptions spaced;
    SplitOptions joined;
    std::string error;
    ASSERT_TRUE(ParseSplitArgs({"--output-dir", "/out", "--name", "holiday", "--naming", "count",
                                "--format", "_%h%m", "--quiet", "--sync", "--no-sync", "x.m2t"},
                               spaced, error))
        << error;
    ASSERT_TRUE(ParseSplitArgs({"--output-dir=/out", "--name=holiday", "--naming=count",
                                "--format=_%h%m", "--quiet", "x.m2t"},
                               joined, error))
        << error;
    for (const SplitOptions* options : {&spaced, &joined}) {
        EXPECT_EQ(options->outputDir, "/out");
        EXPECT_EQ(options->newName.value_or("<none>"), "holiday");
        EXPECT_FALSE(options->dateTimeNaming);
        EXPECT_EQ(options->dateFormat, "_%h%m");
        EXPECT_TRUE(options->quiet);
        EXPECT_FALSE(options->sync);  // the later --no-sync wins
        EXPECT_EQ(options->files, std::vector<std::string>{"x.m2t"});
    }

    // A value may look like an option, an empty joined value is a value, and "--" ends options.
    SplitOptions options;
    ASSERT_TRUE(ParseSplitArgs(
        {"--format", "--x", "--naming", "datetime", "--name=", "--", "--odd.m2t", "-"}, options,
        error))
        << error;
    EXPECT_EQ(options.dateFormat, "--x");
    EXPECT_TRUE(options.dateTimeNaming);
    EXPECT_EQ(options.newName.value_or("<none>"), "");
    EXPECT_EQ(options.files, (std::vector<std::string>{"--odd.m2t", "-"}));
}

TEST(SplitCommand, BadUsageExitsTwoAndSaysWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--bogus", "a.m2t"}, "unknown option: --bogus"},
        {{"-q", "a.m2t"}, "unknown option: -q"},
        {{"a.m2t", "--output-dir"}, "option --output-dir needs a value"},
        {{"a.m2t", "--name"}, "option --name needs a value"},
        {{"a.m2t", "--format"}, "option --format needs a value"},
        {{"--naming", "number", "a.m2t"}, "--naming must be count or datetime, not 'number'"},
        {{"--naming=Count", "a.m2t"}, "--naming must be count or datetime, not 'Count'"},
        {{"--quiet=yes", "a.m2t"}, "option --quiet takes no value"},
        {{"--scenes", "1,3-", "a.m2t"},
         "--scenes takes scene numbers and ranges such as 0,2-4, not '1,3-'"},
        {{"--scenes=4-2", "a.m2t"},
         "--scenes takes scene numbers and ranges such as 0,2-4, not '4-2'"},
        {{"--scenes", "-1", "a.m2t"},
         "--scenes takes scene numbers and ranges such as 0,2-4, not '-1'"},
        {{"--list-scenes", "--scenes", "1", "a.m2t"},
         "--scenes chooses the scenes to write, and --list-scenes writes none"},
        {{}, "no input files"},
        {{"--quiet", "--naming", "count"}, "no input files"},
    };
    for (const auto& c : cases) {
        RunResult result = Split(c.args);
        EXPECT_EQ(result.status, kExitUsage) << c.message;
        EXPECT_NE(result.err.find("vornak-split: " + c.message + "\n"), std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find("--help"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
}

TEST(SplitCommand, HelpPrintsUsageAndSucceeds) {
    RunResult result = Split({"--bogus-free", "--help"});  // an error first still fails
    EXPECT_EQ(result.status, kExitUsage);

    result = Split({"--help"});
    EXPECT_EQ(result.status, kExitOk);
    EXPECT_EQ(result.out, SplitUsage());
    EXPECT_EQ(result.err, "");
    for (const char* option :
         {"--output-dir", "--name", "--naming", "--format", "--sync", "--no-sync", "--quiet",
          "--help", "--version", "-%Y_%M_%D-%h_%m_%s"}) {
        EXPECT_NE(result.out.find(option), std::string::npos) << option;
    }
}

// help2man reads this line for the man page's title.
TEST(SplitCommand, VersionPrintsOneLineAndSucceeds) {
    RunResult result = Split({"--version"});
    EXPECT_EQ(result.status, kExitOk);
    EXPECT_EQ(result.out, "vornak-split (Vornak) 0.77\n");
    EXPECT_EQ(result.out, SplitVersion());
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Split({"--version=2"}).status, kExitUsage);
}

// Standard output that cannot take everything fails the run with the system's reason, after
// the work is done: a half-written list must not pass for a whole one.
TEST(SplitCommand, StandardOutputThatCannotBeWrittenFails) {
    Scratch scratch;
    const std::string tape = WriteTwoSceneTape(scratch.dir.File("tape.m2t"));
    const std::string full =
        "vornak-split: standard output can't be written (No space left on "
        "device)";
    const std::string listing = full + "; the listing is incomplete\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--help"}, full + "\n"},
        {{"--list-scenes", tape, tape}, listing},
        {{"--list-scenes", "--json", tape}, listing},
        {{"--naming", "count", "--output-dir", scratch.dir.Path(), tape}, full + "\n"},
    };
    for (const auto& [args, err] : cases) {
        const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
        DescriptorStreamBuffer buffer(fd);
        std::ostream out(&buffer);
        const RunResult result = test::SplitTo(out, args);
        ::close(fd);
        EXPECT_EQ(result.status, kExitFailed) << args[0];
        EXPECT_EQ(result.err, err);
    }
    EXPECT_EQ(ListFiles(scratch.dir.Path()).size(), 3u);  // the split itself was done
    // The program's standard output goes through the same buffer, byte for byte.
    const std::string err = scratch.dir.File("err");
    EXPECT_EQ(test::RunSplitProgram("--list-scenes --json " + tape, "/dev/full", err), 1);
    EXPECT_EQ(test::ReadText(err), listing);
    EXPECT_EQ(test::RunSplitProgram("--help", scratch.dir.File("help"), err), 0);
    EXPECT_EQ(test::ReadText(scratch.dir.File("help")), SplitUsage());
}

TEST(SplitCommand, SyncSplitsIntoTheSameScenes) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    std::string input = WriteTwoSceneTape(dir.File("tape.m2t"));
    const std::string plainDir = dir.File("plain");
    const std::string syncDir = dir.File("sync");
    ASSERT_EQ(::mkdir(plainDir.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(syncDir.c_str(), 0755), 0);
    EXPECT_EQ(Split({"--quiet", "--output-dir", plainDir, input}).status, kExitOk);
    RunResult result = Split({"--sync", "--output-dir", syncDir, input});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    const auto names = ListFiles(syncDir);
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(names, ListFiles(plainDir));
}

TEST(SplitCommand, SharedNameCountsOnAcrossInputs) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    std::vector<std::string> args = {"--naming", "count",        "--name",
                                     "trip",     "--output-dir", dir.File("out")};
    std::filesystem::create_directory(dir.File("out"));
    for (const char* name : {"a.m2t", "b.m2t", "c.m2t"}) {
        args.push_back(WriteTwoSceneTape(dir.File(name)));
    }
    RunResult result = Split(args);
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(ListFiles(dir.File("out")),
              (std::vector<std::string>{"trip-0000.m2t", "trip-0001.m2t", "trip-0002.m2t",
                                        "trip-0003.m2t", "trip-0004.m2t", "trip-0005.m2t"}));
    // A fresh count per input would reach the same names through collisions; it must not.
    EXPECT_EQ(result.out.find("already exists"), std::string::npos) << result.out;
    // The numbering follows the inputs in order: b's scenes come third and fourth.
    std::size_t b = result.out.find("Processing file: " + dir.File("b.m2t"));
    std::size_t third = result.out.find("Creating new file: " + dir.File("out/trip-0002.m2t"));
    std::size_t c = result.out.find("Processing file: " + dir.File("c.m2t"));
    ASSERT_NE(b, std::string::npos);
    ASSERT_NE(third, std::string::npos);
    ASSERT_NE(c, std::string::npos);
    EXPECT_LT(b, third);
    EXPECT_LT(third, c);
}

TEST(SplitCommand, ScenesWritesOnlyThoseAndWarnsOfMissingOnes) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    tape::TapeWriter writer(options);
    for (int hour : {10, 11, 12, 13}) {
        writer.AddScene(Scene(hour, 0, 0));
    }
    const std::string input = dir.File("tape.m2t");
    ASSERT_TRUE(writer.WriteFile(input));
    std::filesystem::create_directory(dir.File("full"));
    std::filesystem::create_directory(dir.File("some"));
    std::filesystem::create_directory(dir.File("more"));
    ASSERT_EQ(
        Split({"--quiet", "--naming", "count", "--output-dir", dir.File("full"), input}).status,
        kExitOk);

    RunResult result =
        Split({"--naming", "count", "--scenes", "3,1", "--output-dir", dir.File("some"), input});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(ListFiles(dir.File("some")),
              (std::vector<std::string>{"tape-0001.m2t", "tape-0003.m2t"}));
    for (const char* name : {"tape-0001.m2t", "tape-0003.m2t"}) {
        EXPECT_EQ(test::ReadAll(dir.File("some/") + name), test::ReadAll(dir.File("full/") + name))
            << name;
    }

    // Numbers the tape does not have are named once the tape is read, and fail the run.
    result = Split({"--quiet", "--scenes", "0,2,4,6-9", "--naming", "count", "--output-dir",
                    dir.File("more"), input});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_EQ(result.err, "WARNING: This file has no scene 4, 6-9: " + input + "\n");
    EXPECT_EQ(ListFiles(dir.File("more")),
              (std::vector<std::string>{"tape-0000.m2t", "tape-0002.m2t"}));
}

TEST(SplitCommand, OwnNamesCountFromZeroNextToEachInput) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    std::string a = WriteTwoSceneTape(dir.File("a.m2t"));
    std::string b = WriteTwoSceneTape(dir.File("b.ts"));
    RunResult result = Split({"--naming=count", a, b});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(ListFiles(dir.Path()), (std::vector<std::string>{"a-0000.m2t", "a-0001.m2t", "a.m2t",
                                                               "b-0000.ts", "b-0001.ts", "b.ts"}));
}

TEST(SplitCommand, NamesScenesByDateWithDefaultOrGivenPattern) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    std::string input = WriteTwoSceneTape(dir.File("tape.m2t"));
    std::filesystem::create_directory(dir.File("default"));
    std::filesystem::create_directory(dir.File("custom"));

    RunResult result = Split({"--output-dir", dir.File("default"), input});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(
        ListFiles(dir.File("default")),
        (std::vector<std::string>{"tape-2006_05_01-14_03_59.m2t", "tape-2006_05_01-15_00_00.m2t"}));

    result = Split({"--format", "@%h%m%s", "--output-dir=" + dir.File("custom"), input});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(ListFiles(dir.File("custom")),
              (std::vector<std::string>{"tape@140359.m2t", "tape@150000.m2t"}));
}

TEST(SplitCommand, LogLinesReachStdoutAsPlainLines) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    std::string input = WriteTwoSceneTape(dir.File("tape.m2t"));
    RunResult result = Split({"--naming", "count", input});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(result.out.find('\r'), std::string::npos);
    // The "Processing file" report starts with a line break: an empty line before it.
    EXPECT_EQ(result.out.rfind("\nProcessing file: " + input + "\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\nCreating new file: " + dir.File("tape-0000.m2t") + "\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("\nScene change detected.\n"), std::string::npos);
    EXPECT_NE(result.out.find("\nCreating new file: " + dir.File("tape-0001.m2t") + "\n"),
              std::string::npos);
    EXPECT_EQ(result.err, "");  // not a terminal: no progress bar
}

TEST(SplitCommand, UnopenableInputFailsButOthersAreSplit) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    std::string missing = dir.File("missing.m2t");
    std::string good = WriteTwoSceneTape(dir.File("good.m2t"));
    RunResult result = Split({"--naming", "count", missing, good});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_NE(result.out.find("\nWARNING: Can't open file: " + missing + "\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(result.err, "vornak-split: not split completely: " + missing + "\n");
    EXPECT_EQ(ListFiles(dir.Path()),
              (std::vector<std::string>{"good-0000.m2t", "good-0001.m2t", "good.m2t"}));

    // Quiet keeps the warning, on stderr, and drops everything else.
    result = Split({"--quiet", missing});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "WARNING: Can't open file: " + missing +
                              "\nvornak-split: not split completely: " + missing + "\n");
}

// Each input is refused before it is read when its scene files could not be made: one error
// naming the folder or the name with the system's reason, and nothing written anywhere.
TEST(SplitCommand, OutputThatCannotBeMadeIsRefusedBeforeSplitting) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    const std::string input = WriteTwoSceneTape(dir.File("tape.m2t"));
    const std::string nowhere = dir.File("nowhere");
    const std::string longName(300, 'n');
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"--output-dir", nowhere},
         "ERROR: This folder can't take new files: " + nowhere + " (No such file or directory)"},
        {{"--output-dir", input},
         "ERROR: This folder can't take new files: " + input + " (Not a directory)"},
        {{"--output-dir", dir.Path(), "--name", "no/such"},
         "ERROR: A file name can't contain \"/\": no/such"},
        {{"--naming", "count", "--output-dir", dir.Path(), "--name", longName},
         "ERROR: This file name is too long: " + dir.File(longName + "-0000.m2t") +
             " (File name too long)"},
        // Without an output folder the new name is a path, whose folder must be there.
        {{"--name", dir.File("gone/tape")},
         "ERROR: This folder can't take new files: " + dir.File("gone") +
             " (No such file or directory)"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(input);
        args.push_back(input);  // each input is checked, and refused, on its own
        const RunResult result = Split(args);
        EXPECT_EQ(result.status, kExitFailed) << c.error;
        EXPECT_EQ(result.out, c.error + "\n" + c.error + "\n");
        EXPECT_EQ(result.err, "vornak-split: not split completely: " + input +
                                  "\nvornak-split: not split completely: " + input + "\n");
        EXPECT_EQ(ListFiles(dir.Path()), std::vector<std::string>{"tape.m2t"});

        // The refusal is an error: --quiet keeps it, on stderr before the summary.
        args.insert(args.begin(), "--quiet");
        const RunResult quiet = Split(args);
        EXPECT_EQ(quiet.status, kExitFailed) << c.error;
        EXPECT_EQ(quiet.out, "");
        EXPECT_EQ(quiet.err, c.error + "\n" + c.error + "\n" + result.err);
    }
}

// A FIFO would block the open for ever, a device would be read without end: both are refused at
// once, as is an input that holds no transport stream; the other inputs are still split.
TEST(SplitCommand, InputsThatAreNoTapesAreRefused) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    const std::string fifo = dir.File("fifo.m2t");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string noise = dir.File("noise.m2t");
    test::WriteAll(noise, std::vector<std::uint8_t>(187, SYNC_BYTE));
    const std::string good = WriteTwoSceneTape(dir.File("good.m2t"));
    const RunResult result = Split({"--naming", "count", fifo, "/dev/zero", noise, good});
    EXPECT_EQ(result.status, kExitFailed);
    EXPECT_NE(result.out.find("\nERROR: This is not a regular file: " + fifo + "\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\nERROR: This is not a regular file: /dev/zero\n"),
              std::string::npos);
    EXPECT_NE(result.out.find(
                  "\nERROR: This is neither an MPEG-2 transport stream nor DV: " + noise + "\n"),
              std::string::npos);
    EXPECT_EQ(result.err, "vornak-split: not split completely: " + fifo +
                              "\nvornak-split: not split completely: /dev/zero" +
                              "\nvornak-split: not split completely: " + noise + "\n");
    EXPECT_EQ(ListFiles(dir.Path()), (std::vector<std::string>{"good-0000.m2t", "good-0001.m2t",
                                                               "good.m2t", "noise.m2t"}));
}

TEST(SplitCommand, ProgressBarOnlyOnATerminalAndClearedAtTheEnd) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    std::string a = WriteTwoSceneTape(dir.File("a.m2t"));
    std::string b = WriteTwoSceneTape(dir.File("b.m2t"));
    RunResult result = Split({"--naming", "count", a, b}, true);
    EXPECT_EQ(result.status, kExitOk);
    EXPECT_NE(result.err.find("\r[....................]   0%  file 1/2"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("\r[##########..........]  50%  file 2/2"), std::string::npos);
    EXPECT_NE(result.err.find("\r[####################] 100%  file 2/2"), std::string::npos);
    // The last thing on the line is the blanking of the bar.
    std::size_t lastBar = result.err.rfind("\r[");
    std::string tail = result.err.substr(result.err.find('\r', lastBar + 1));
    EXPECT_EQ(tail.find_first_not_of(" \r"), std::string::npos);
    EXPECT_EQ(tail.front(), '\r');
    EXPECT_EQ(tail.back(), '\r');
    EXPECT_EQ(result.out.find('['), std::string::npos);  // the log stays clean

    result = Split({"--quiet", "--output-dir", dir.Path(), "--name", "q", a}, true);
    EXPECT_EQ(result.status, kExitOk);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "");
}

TEST(SplitCommand, StopRequestEndsEveryInputAndSaysSo) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    std::string a = WriteTwoSceneTape(dir.File("a.m2t"));
    std::string b = WriteTwoSceneTape(dir.File("b.m2t"));
    std::atomic<std::uint8_t> stop{1};
    RunResult result = Split({"--naming", "count", a, b}, false, &stop);
    EXPECT_EQ(result.status, kExitInterrupted);
    EXPECT_EQ(result.err,
              "vornak-split: stopped before the end; the last scene file may be incomplete\n");
    EXPECT_NE(result.out.find("Processing file: " + b), std::string::npos);
    EXPECT_EQ(result.out.find("Scene change detected."), std::string::npos);

    // A listing writes nothing, so it has no incomplete file to warn of.
    result = Split({"--list-scenes", a}, false, &stop);
    EXPECT_EQ(result.status, kExitInterrupted);
    EXPECT_EQ(result.err, "vornak-split: stopped before the end; the listing is incomplete\n");
}

}  // namespace
}  // namespace vornak

namespace vornak {
namespace {

std::time_t ModificationTime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtime;
}

// The calendar time of a date read as UTC, worked out apart from the program's own conversion.
std::time_t Utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return ::timegm(&tm);
}

// Files the run wrote have times of about now; this is well before.
constexpr std::time_t kLongAgo = 1'000'000'000;  // 2001
constexpr int kCestOffsetSeconds = 2 * 3600;

TEST(SplitCommand, SetMtimeGivesEachSceneFileItsFirstDateAsLocalTime) {
    struct Zone {
        const char* tz;
        int offsetInMay;  // seconds east of UTC
    };
    for (const Zone zone :
         {Zone{"UTC0", 0}, Zone{"CET-1CEST,M3.5.0,M10.5.0/3", kCestOffsetSeconds}}) {
        for (const bool sync : {false, true}) {
            test::ScopedTimeZone tz(zone.tz);
            TempDir dir;
            const std::string tape = WriteTwoSceneTape(dir.File("t.m2t"));
            std::vector<std::string> args = {"--quiet", "--set-mtime", "--naming", "count", tape};
            if (sync) {
                args.insert(args.begin(), "--sync");
            }
            const RunResult result = Split(args);
            ASSERT_EQ(result.status, kExitOk) << result.err;
            const std::string what = std::string(zone.tz) + (sync ? " sync" : "");
            EXPECT_EQ(ModificationTime(dir.File("t-0000.m2t")),
                      Utc(2006, 5, 1, 14, 3, 59) - zone.offsetInMay)
                << what;
            EXPECT_EQ(ModificationTime(dir.File("t-0001.m2t")),
                      Utc(2006, 5, 1, 15, 0, 0) - zone.offsetInMay)
                << what;
            EXPECT_GT(ModificationTime(tape), kLongAgo) << what;
        }
    }
}

TEST(SplitCommand, FilesKeepTheirTimeWithoutSetMtimeOrWithoutDates) {
    Scratch scratch;
    const std::string tape = WriteTwoSceneTape(scratch.dir.File("t.m2t"));
    ASSERT_EQ(Split({"--quiet", "--naming", "count", tape}).status, kExitOk);
    EXPECT_GT(ModificationTime(scratch.dir.File("t-0000.m2t")), kLongAgo);

    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes;
    tape::TapeWriter writer(options);
    tape::SceneSpec scene = Scene(14, 0, 0);
    scene.noDates = true;
    writer.AddScene(scene);
    const std::string undated = scratch.dir.File("u.m2t");
    ASSERT_TRUE(writer.WriteFile(undated));
    const RunResult result = Split({"--quiet", "--set-mtime", undated});
    ASSERT_EQ(result.status, kExitOk);
    EXPECT_EQ(result.err, "");
    const std::vector<std::string> files = ListFiles(scratch.dir.Path());
    ASSERT_EQ(files.size(), 5u);
    EXPECT_EQ(files.at(3), "u-noTime-0000.m2t");
    EXPECT_GT(ModificationTime(scratch.dir.File("u-noTime-0000.m2t")), kLongAgo);
}

// A scene whose name is taken is written under a "-new" name; that file gets the date, and the
// file in the way keeps its bytes and its time.
TEST(SplitCommand, SetMtimeDatesTheNewFileAndLeavesTheOneInTheWay) {
    Scratch scratch;
    const std::string tape = WriteTwoSceneTape(scratch.dir.File("t.m2t"));
    const std::string inTheWay = scratch.dir.File("t-2006_05_01-14_03_59.m2t");
    test::WriteAll(inTheWay, {1, 2, 3});
    const timespec old[2] = {{kLongAgo, 0}, {kLongAgo, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, inTheWay.c_str(), old, 0), 0);

    const RunResult result = Split({"--quiet", "--set-mtime", tape});
    EXPECT_EQ(result.status, kExitOk) << result.err;
    EXPECT_EQ(test::ReadAll(inTheWay), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(ModificationTime(inTheWay), kLongAgo);
    EXPECT_EQ(ModificationTime(scratch.dir.File("t-new-2006_05_01-14_03_59.m2t")),
              Utc(2006, 5, 1, 14, 3, 59));
    EXPECT_EQ(ModificationTime(scratch.dir.File("t-new-2006_05_01-15_00_00.m2t")),
              Utc(2006, 5, 1, 15, 0, 0));
}

// A raw DV tape of two recordings, 09:30:00 and 11:00:00 on 2008-03-02, whatever its name.
std::vector<std::uint8_t> WriteTwoSceneDvTape(const std::string& path) {
    std::vector<std::uint8_t> tape;
    for (const int hour : {9, 9, 11}) {
        dv::test::FrameSetup setup;
        setup.stamp = dv::test::Stamp{8, 3, 2, hour, hour == 9 ? 30 : 0, 0};
        const std::vector<std::uint8_t> frame = dv::test::MakeFrame(setup);
        tape.insert(tape.end(), frame.begin(), frame.end());
    }
    test::WriteAll(path, tape);
    return tape;
}

// A DV input is told by its bytes, not its name: its scenes go into ".dv" files that join into
// the tape and take their first dates as times; --sync says once that it does nothing for DV,
// and a transport stream in the same run is split as ever.
TEST(SplitCommand, SplitsDvInputsIntoDvFilesByTheirContent) {
    Scratch scratch;
    const TempDir& dir = scratch.dir;
    const std::vector<std::uint8_t> first = WriteTwoSceneDvTape(dir.File("cam.m2t"));
    const std::vector<std::uint8_t> second = WriteTwoSceneDvTape(dir.File("raw"));
    const std::string hdv = WriteTwoSceneTape(dir.File("hdv.m2t"));
    const RunResult result = Split(
        {"--sync", "--set-mtime", "--naming", "count", dir.File("cam.m2t"), hdv, dir.File("raw")});
    ASSERT_EQ(result.status, kExitOk) << result.out << result.err;
    const std::string warning =
        "WARNING: --sync does nothing for DV, whose frames each carry their own sound; DV inputs "
        "are split without it\n";
    EXPECT_EQ(result.out.find(warning), 0u) << result.out;
    EXPECT_EQ(result.out.find(warning, 1), std::string::npos) << result.out;
    EXPECT_EQ(
        ListFiles(dir.Path()),
        (std::vector<std::string>{"cam-0000.dv", "cam-0001.dv", "cam.m2t", "hdv-0000.m2t",
                                  "hdv-0001.m2t", "hdv.m2t", "raw", "raw-0000.dv", "raw-0001.dv"}));
    for (const auto& [name, tape] : {std::pair{std::string("cam"), first}, {"raw", second}}) {
        EXPECT_EQ(test::Concat(dir.Path(), {name + "-0000.dv", name + "-0001.dv"}), tape) << name;
        EXPECT_EQ(ModificationTime(dir.File(name + "-0000.dv")), Utc(2008, 3, 2, 9, 30, 0));
        EXPECT_EQ(ModificationTime(dir.File(name + "-0001.dv")), Utc(2008, 3, 2, 11, 0, 0));
    }
}

}  // namespace
}  // namespace vornak
