// vornak-capture driven in-process with the virtual camcorder and fake camcorders: what each
// kind of capture writes, how it ends and with which exit status, that a camcorder in camera
// mode is never told to play, the files' times taken from their recording dates, the camcorder
// list and its numbering, and the usage errors.
// The loop's timer runs ten times faster than the program's, so that the end-of-tape check
// (third check of a run) and detection (every twelfth tick) come quickly.
#include "CaptureCommand.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CaptureConsole.h"
#include "CapturePin.h"
#include "CaptureSession.h"
#include "ComPtr.h"
#include "DatePack.h"
#include "DeviceControl.h"
#include "DvTestFrames.h"
#include "FakeCamcorder.h"
#include "FakeFireWireLibrary.h"
#include "FireWireDeviceSource.h"
#include "FireWireTestNodes.h"
#include "Guids.h"
#include "RecordingDate.h"
#include "RecordingDiskSync.h"
#include "SceneSummary.h"
#include "SplitCommand.h"
#include "TapeTransport.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"
#include "VirtualCamcorderFilter.h"
#include "VirtualCamcorderSource.h"

namespace vornak {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr auto kTestTick = 25ms;
// Twenty times the tape's rate: fast, and a live split keeps up without dropping a chunk.
constexpr double kFastSpeed = 20;
constexpr std::size_t kPictureBytes = 6000;

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Whether `data` is whole packets of the tape played over and over, from some packet on: what
// a camcorder in camera mode sends, cut only between packets.
bool IsWholePacketsOfLoopedTape(const Bytes& data, const Bytes& tape) {
    if (data.empty() || data.size() % PKT_SIZE != 0 || tape.empty()) {
        return false;
    }
    for (std::size_t start = 0; start < tape.size(); start += PKT_SIZE) {
        bool same = true;
        for (std::size_t i = 0; same && i < data.size(); ++i) {
            same = data[i] == tape[(start + i) % tape.size()];
        }
        if (same) {
            return true;
        }
    }
    return false;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// The modification time of a file, or -1 when it cannot be read.
std::time_t ModificationTime(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : static_cast<std::time_t>(-1);
}

RecordingDate ToRecordingDate(const tape::DateTime& d) {
    RecordingDate date;
    date.year = d.year;
    date.month = d.month;
    date.day = d.day;
    date.hour = d.hour;
    date.minute = d.minute;
    date.second = d.second;
    return date;
}

// The start of an hour, as a date pack gives it.
RecordingDate HourOf(int year, int month, int day, int hour) {
    RecordingDate date;
    date.year = year;
    date.month = month;
    date.day = day;
    date.hour = hour;
    return date;
}

// Four picture groups from `start`: their dates run on by a second or two, so a scene file
// dated by any date pack but its first one is caught.
tape::SceneSpec SceneFrom(const tape::DateTime& start, bool noDates = false) {
    tape::SceneSpec scene;
    scene.start = start;
    scene.gops = 4;
    scene.noDates = noDates;
    return scene;
}

// Camcorders of a given device type, as fakes, with the names the list shows; the filters bound
// are kept so that tests can see what they were sent.
class TypedCamcorderSource : public IDeviceSource {
  public:
    struct Device {
        std::string deviceClass;
        std::string vendor;
        std::string model;
        LONG type = ED_DEVTYPE_VCR;
    };
    explicit TypedCamcorderSource(std::vector<Device> devices) : m_devices(std::move(devices)) {}

    std::vector<DeviceDescription> ListDevices(const CLSID& category) override {
        std::vector<DeviceDescription> out;
        if (category != CLSID_VideoInputDeviceCategory) {
            return out;
        }
        for (const Device& device : m_devices) {
            DeviceDescription description;
            description.properties =
                std::map<std::string, std::string>{{kDeviceClassGuidProperty, device.deviceClass},
                                                   {kVendorTextProperty, device.vendor},
                                                   {kModelTextProperty, device.model}};
            description.bind = [this, type = device.type](IBaseFilter** filter) {
                ComPtr<test::FakeCamcorder> camcorder(new test::FakeCamcorder());
                camcorder->deviceType = type;
                {
                    std::lock_guard lock(m_mutex);
                    m_bound.push_back(camcorder);
                }
                return HandOut(static_cast<IBaseFilter*>(camcorder.Get()), filter);
            };
            out.push_back(std::move(description));
        }
        return out;
    }
    ComPtr<test::FakeCamcorder> LastBound() const {
        std::lock_guard lock(m_mutex);
        return m_bound.empty() ? ComPtr<test::FakeCamcorder>() : m_bound.back();
    }

  private:
    const std::vector<Device> m_devices;
    mutable std::mutex m_mutex;
    std::vector<ComPtr<test::FakeCamcorder>> m_bound;
};

// Counts how often the device list is asked for, and lists nothing, for the reason given.
class EmptySource : public IDeviceSource {
  public:
    explicit EmptySource(std::string why = {}) : problem(std::move(why)) {}
    std::vector<DeviceDescription> ListDevices(const CLSID&) override {
        ++asked;
        return {};
    }
    DeviceProblem ListingProblem() const override { return {problem, false}; }
    std::atomic<int> asked{0};
    const std::string problem;
};

class CaptureCommandTest : public ::testing::Test {
  protected:
    CaptureCommandTest() : m_tz("UTC0") {
        m_out = m_dir.File("out");
        std::filesystem::create_directory(m_out);
        m_hooks.tick = kTestTick;
    }

    // A tape of three scenes of four picture groups, about a megabyte.
    std::string WriteTape(std::vector<long> brokenPictures = {}) {
        std::vector<tape::SceneSpec> scenes;
        int hour = 10;
        for (int i = 0; i < 3; ++i) {
            tape::DateTime start;
            start.hour = hour;
            hour += 2;
            scenes.push_back(SceneFrom(start));
        }
        return WriteTapeOf(scenes, "tape.m2t", std::move(brokenPictures));
    }
    // The tape the virtual camcorder plays from now on.
    std::string WriteTapeOf(const std::vector<tape::SceneSpec>& scenes, const std::string& name,
                            std::vector<long> brokenPictures = {}) {
        tape::TapeOptions options;
        options.pictureBytes = kPictureBytes;
        options.brokenPictures = std::move(brokenPictures);
        tape::TapeWriter writer(options);
        for (const tape::SceneSpec& scene : scenes) {
            writer.AddScene(scene);
        }
        m_tapePath = m_dir.File(name);
        EXPECT_TRUE(writer.WriteFile(m_tapePath));
        return m_tapePath;
    }

    // Long enough that the scenes after the first would fill the live queue twice over: a short
    // scene, then two of pictures at the camcorder's rate (about 32 MB in all).
    std::string WriteLongTape() {
        tape::TapeWriter writer;
        int hour = 10;
        for (const int gops : {1, 8, 8}) {
            tape::DateTime start;
            start.hour = hour++;
            tape::SceneSpec scene = SceneFrom(start);
            scene.gops = gops;
            writer.AddScene(scene);
        }
        m_tapePath = m_dir.File("long.m2t");
        EXPECT_TRUE(writer.WriteFile(m_tapePath));
        return m_tapePath;
    }

    void UseVirtualCamcorder(VirtualCamcorderSource::Settings settings) {
        settings.tapePath = m_tapePath;
        UseSources({std::make_shared<VirtualCamcorderSource>(settings)});
    }
    VirtualCamcorderSource::Settings Speed(double speed, bool cameraMode = false) {
        VirtualCamcorderSource::Settings settings;
        settings.speed = speed;
        settings.cameraMode = cameraMode;
        return settings;
    }
    void UseSources(std::vector<std::shared_ptr<IDeviceSource>> sources) {
        m_sources.reset();  // it puts back none when it goes
        m_sources = std::make_unique<test::ScopedDeviceSources>(std::move(sources));
    }

    RunResult Run(const std::vector<std::string>& args) {
        std::ostringstream out;
        std::ostringstream err;
        RunResult result;
        result.status = RunCaptureCommand(args, out, err, m_hooks);
        result.out = out.str();
        result.err = err.str();
        return result;
    }
    // A capture into the output folder under `name`, with more options.
    RunResult Capture(const std::string& name, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--output-dir", m_out, "--name", name};
        args.insert(args.end(), more.begin(), more.end());
        return Run(args);
    }

    // The output folder's files back to back, in name order.
    Bytes AllOutput() const { return test::Concat(m_out, test::ListFiles(m_out)); }
    // The modification times of the output files whose names start with `prefix`, in name order.
    std::vector<std::time_t> TimesOf(const std::string& prefix) const {
        std::vector<std::time_t> times;
        for (const std::string& name : test::ListFiles(m_out)) {
            if (name.rfind(prefix, 0) == 0) {
                times.push_back(ModificationTime(m_out + "/" + name));
            }
        }
        return times;
    }

    test::ScopedTimeZone m_tz;
    test::TempDir m_dir;
    std::string m_out;
    std::string m_tapePath;
    CaptureCommandHooks m_hooks;
    std::unique_ptr<test::ScopedDeviceSources> m_sources;
};

// A single file is the tape, and a second capture under its name is refused and leaves it
// alone. The log goes to the standard output and the boxes to the error output (a box's CR LF
// becomes a line break); when both are one terminal, what the log said is not said again.
TEST_F(CaptureCommandTest, SingleFileCaptureIsTheTapeAndIsNeverOverwritten) {
    WriteTape();
    const std::string path = m_out + "/tape.m2t";
    const std::string refused = "ERROR: Can't start capturing. File " + path + " already exists.";
    for (const bool oneTerminal : {false, true}) {
        SCOPED_TRACE(oneTerminal ? "one terminal" : "two outputs");
        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        UseVirtualCamcorder(Speed(0));
        m_hooks.oneTerminal = oneTerminal;
        const std::size_t said = oneTerminal ? 1 : 2;
        const RunResult first = Capture("tape", {"--single-file"});
        ASSERT_EQ(first.status, kCaptureExitOk) << first.err;
        EXPECT_TRUE(test::ReadAll(path) == test::ReadAll(m_tapePath));
        EXPECT_TRUE(Contains(first.out, "Creating file: " + path + "\n")) << first.out;
        EXPECT_TRUE(Contains(first.out, "Capturing has been started\n"));
        EXPECT_TRUE(Contains(first.out, "End of capturing\n"));
        EXPECT_TRUE(oneTerminal || Contains(first.err,
                                            "End of capturing.\nCapturing has been "
                                            "interrupted or end of tape reached."))
            << first.err;
        const std::string both = first.out + first.err;
        EXPECT_EQ(Count(both, "End of capturing"), said) << both;
        EXPECT_EQ(Count(both, "Capturing has been interrupted or end of tape reached."), said);

        const RunResult second = Capture("tape", {"--single-file"});
        EXPECT_EQ(second.status, kCaptureExitFailed);
        EXPECT_TRUE(oneTerminal || Contains(second.err, refused)) << second.err;
        EXPECT_EQ(Count(second.out + second.err, refused), said) << second.out << second.err;
        EXPECT_FALSE(Contains(second.out, "Capturing has been started"));
        EXPECT_TRUE(test::ReadAll(path) == test::ReadAll(m_tapePath));
        EXPECT_EQ(test::ListFiles(m_out), std::vector<std::string>{"tape.m2t"});
    }
}

TEST_F(CaptureCommandTest, RewindWindsTheTapeToItsStartAndCapturesItFromThere) {
    WriteTape();
    UseVirtualCamcorder(Speed(0));
    m_hooks.statusToTerminal = true;
    // The tape was left at its end.
    m_hooks.onCamcorderFound = [](CaptureSession& session) {
        TapeTransport& tape =
            static_cast<VirtualCamcorderFilter*>(session.Camcorder())->Transport();
        ASSERT_TRUE(tape.SetMode(TransportMode::FastForward));
        while (tape.Mode() != TransportMode::Stop) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_EQ(tape.Position(), tape.Length());
    };
    const RunResult run = Capture("whole", {"--single-file", "--rewind"});
    EXPECT_EQ(run.status, kCaptureExitOk) << run.err;
    EXPECT_TRUE(test::ReadAll(m_out + "/whole.m2t") == test::ReadAll(m_tapePath));
    // The status line follows the timecode back.
    EXPECT_TRUE(Contains(run.err, "\rRewinding ... 0:00:0")) << run.err;
}

TEST_F(CaptureCommandTest, RewindIsRefusedInCameraMode) {
    WriteTape();
    UseVirtualCamcorder(Speed(kFastSpeed, true));
    const RunResult run = Capture("live", {"--single-file", "--rewind"});
    EXPECT_EQ(run.status, kCaptureExitFailed);
    EXPECT_TRUE(Contains(run.err,
                         "vornak-capture: --rewind needs a camcorder in tape playback "
                         "(VCR) mode; this one is in camera mode\n"))
        << run.err;
    EXPECT_FALSE(Contains(run.out, "Capturing has been started"));
    EXPECT_TRUE(test::ListFiles(m_out).empty());
}

class CaptureCommandSplitTest : public CaptureCommandTest,
                                public ::testing::WithParamInterface<bool> {};

TEST_P(CaptureCommandSplitTest, WritesTheScenesVornakSplitWrites) {
    const bool sync = GetParam();
    WriteTape();
    UseVirtualCamcorder(Speed(kFastSpeed));
    const std::string expected = m_dir.File("expected");
    std::filesystem::create_directory(expected);
    std::vector<std::string> splitArgs{"--output-dir", expected, "--name", "tape", "--quiet"};
    std::vector<std::string> more;
    if (sync) {
        splitArgs.push_back("--sync");
        more.push_back("--sync");
    }
    splitArgs.push_back(m_tapePath);
    std::ostringstream splitOut;
    std::ostringstream splitErr;
    ASSERT_EQ(RunSplitCommand(splitArgs, splitOut, splitErr, false), kExitOk) << splitErr.str();

    const RunResult run = Capture("tape", more);
    ASSERT_EQ(run.status, kCaptureExitOk) << run.err;
    const auto names = test::ListFiles(expected);
    ASSERT_EQ(names.size(), 3u);
    ASSERT_EQ(test::ListFiles(m_out), names);
    for (const auto& name : names) {
        EXPECT_TRUE(test::ReadAll(m_out + "/" + name) == test::ReadAll(expected + "/" + name))
            << name;
        EXPECT_TRUE(Contains(run.out, "Creating new file: " + m_out + "/" + name + "\n"));
    }
    EXPECT_FALSE(Contains(run.out, "WARNING")) << run.out;
}

INSTANTIATE_TEST_SUITE_P(CaptureCommand, CaptureCommandSplitTest, ::testing::Bool());

// With --report a capture writes NAME-report.json beside its files: a split run from the scenes
// it split, a single-file run from its file read back. The log says where and what was found,
// and a report in the way is refused before the tape moves, and kept.
TEST_F(CaptureCommandTest, AHealthReportIsWrittenBesideTheFilesAndNeverOverwritten) {
    WriteTape();
    const std::string report = m_out + "/tape-report.json";
    for (const bool singleFile : {false, true}) {
        SCOPED_TRACE(singleFile ? "single file" : "split");
        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        UseVirtualCamcorder(Speed(singleFile ? 0 : kFastSpeed));
        std::vector<std::string> more{"--report"};
        if (singleFile) {
            more.push_back("--single-file");
        }
        const RunResult run = Capture("tape", more);
        ASSERT_EQ(run.status, kCaptureExitOk) << run.err;
        const nlohmann::json document = nlohmann::json::parse(test::ReadText(report));
        ASSERT_EQ(document["inputs"].size(), 1u);
        const nlohmann::json& input = document["inputs"][0];
        EXPECT_EQ(input["path"], m_out + (singleFile ? "/tape.m2t" : "/tape"));
        EXPECT_EQ(input["complete"], true);
        ASSERT_EQ(input["scenes"].size(), 3u);
        for (const nlohmann::json& scene : input["scenes"]) {
            EXPECT_EQ(scene["findings"], nlohmann::json::array());
            if (singleFile) {
                EXPECT_EQ(scene["file"], nullptr);
            } else {
                EXPECT_TRUE(std::filesystem::exists(scene["file"].get<std::string>()));
            }
        }
        const std::string summary = document["summary"];
        EXPECT_TRUE(Contains(run.out, "Health report: " + report + "\nHealth: " + summary + "\n"))
            << run.out;
        EXPECT_EQ(test::ListFiles(m_out).size(), singleFile ? 2u : 4u);

        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        test::WriteText(report, "kept");
        const RunResult refused = Capture("tape", more);
        EXPECT_EQ(refused.status, kCaptureExitFailed);
        EXPECT_TRUE(Contains(refused.out + refused.err,
                             "ERROR: Can't start capturing. File " + report + " already exists."))
            << refused.out << refused.err;
        EXPECT_FALSE(Contains(refused.out, "Capturing has been started"));
        EXPECT_EQ(test::ListFiles(m_out), std::vector<std::string>{"tape-report.json"});
        EXPECT_EQ(test::ReadText(report), "kept");
    }
}

// A tape of HDV, DV of three scenes and HDV again goes, in split and single-file runs at the
// tape's rate and faster, into the files vornak-split makes of the three parts, byte for byte.
TEST_F(CaptureCommandTest, AMixedTapeGoesIntoTheFilesVornakSplitMakesOfItsParts) {
    const std::string hdv1 = WriteTape();
    dv::test::Bytes dvTape;
    for (const int hour : {14, 15, 16}) {
        for (int frame = 0; frame < 12; ++frame) {
            dv::test::FrameSetup setup;
            setup.stamp.hour = hour;
            setup.recordingStart = frame == 0;
            setup.tc = {0, hour - 14, 0, frame};
            const dv::test::Bytes bytes = dv::test::MakeFrame(setup);
            dvTape.insert(dvTape.end(), bytes.begin(), bytes.end());
        }
    }
    const std::string dv = m_dir.File("b.dv");
    test::WriteAll(dv, dvTape);
    tape::DateTime late;
    late.hour = 20;
    const std::string hdv2 = WriteTapeOf({SceneFrom(late)}, "c.m2t");
    m_tapePath = hdv1 + "," + dv + "," + hdv2;

    const std::string expected = m_dir.File("expected");
    std::filesystem::create_directory(expected);
    std::ostringstream splitOut;
    std::ostringstream splitErr;
    ASSERT_EQ(
        RunSplitCommand({"--output-dir", expected, "--name", "mix", "--quiet", hdv1, dv, hdv2},
                        splitOut, splitErr, false),
        kExitOk)
        << splitErr.str();
    const auto names = test::ListFiles(expected);
    ASSERT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return n.ends_with(".dv"); }),
              3);

    for (const double speed : {1.0, kFastSpeed}) {
        SCOPED_TRACE("speed " + std::to_string(speed));
        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        UseVirtualCamcorder(Speed(speed));
        const RunResult split = Capture("mix");
        ASSERT_EQ(split.status, kCaptureExitOk) << split.out << split.err;
        ASSERT_EQ(test::ListFiles(m_out), names) << split.out;
        for (const auto& name : names) {
            EXPECT_TRUE(test::ReadAll(m_out + "/" + name) == test::ReadAll(expected + "/" + name))
                << name;
        }
        for (const char* line :
             {"INFO: The camcorder plays DV: it is captured into DV files (.dv).\n",
              "INFO: The camcorder plays HDV: it is captured into HDV files (.m2t).\n"}) {
            EXPECT_EQ(Count(split.out, line), 1u) << split.out;
        }
        EXPECT_FALSE(Contains(split.out, "Processing file")) << "a capture is no file";

        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        const RunResult single = Capture("one", {"--single-file", "--set-mtime"});
        ASSERT_EQ(single.status, kCaptureExitOk) << single.out << single.err;
        EXPECT_FALSE(Contains(single.out + single.err, "WARNING")) << single.out << single.err;
        EXPECT_EQ(ModificationTime(m_out + "/one.dv"), HourOf(2007, 6, 15, 14).ToLocalTime());
        EXPECT_TRUE(test::ReadAll(m_out + "/one.dv") == dvTape);
        Bytes hdv = test::ReadAll(hdv1);
        const Bytes tail = test::ReadAll(hdv2);
        hdv.insert(hdv.end(), tail.begin(), tail.end());
        EXPECT_TRUE(test::ReadAll(m_out + "/one.m2t") == hdv);
        EXPECT_TRUE(Contains(single.out, "Creating file: " + m_out + "/one.dv\n")) << single.out;
    }
}

// A MiniDV camcorder on a FireWire bus (the fake one, through the real backend) whose stream
// loses payloads of one frame: the file holds every frame, that one with the lost blocks marked
// as damage; the loss is counted, said and sets the exit status, and --stop-on-drop ends the
// capture at it.
TEST_F(CaptureCommandTest, DvLostOnFireWireIsCountedAndStopOnDropEndsTheCapture) {
    constexpr std::uint64_t kGuid = 0x0800'4601'0000'0900;
    constexpr std::size_t kFrames = 6;
    constexpr std::size_t kDamaged = 3;
    constexpr std::size_t kLostPayload = 40;
    auto library = std::make_shared<test::FakeFireWireLibrary>();
    library->SetBus({{{test::ThisMachine(), test::MiniDv(kGuid)}, 0}});
    library->EditNode(kGuid, [](test::FakeFireWireLibrary::Node& node) {
        node.transportState = test::FakeFireWireLibrary::State(avc::kOpcodePlay, avc::kPlayForward);
    });
    std::vector<Bytes> frames;
    std::vector<std::vector<std::uint8_t>> wire;
    std::uint8_t dbc = 0;
    for (std::size_t f = 0; f < kFrames; ++f) {
        dv::test::FrameSetup setup;
        setup.tc = {0, 0, 1, static_cast<int>(f)};
        frames.push_back(dv::test::MakeFrame(setup));
        auto packets = test::FakeFireWireLibrary::DvWire(frames.back(), setup.system, dbc);
        if (f == kDamaged) {
            packets.erase(packets.begin() + kLostPayload);
        }
        wire.insert(wire.end(), packets.begin(), packets.end());
    }
    UseSources({std::make_shared<FireWireDeviceSource>(library)});

    for (const bool stopOnDrop : {false, true}) {
        SCOPED_TRACE(stopOnDrop ? "--stop-on-drop" : "without --stop-on-drop");
        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        library->EditNode(kGuid, [](test::FakeFireWireLibrary::Node& node) {
            node.transportState =
                test::FakeFireWireLibrary::State(avc::kOpcodePlay, avc::kPlayForward);
        });
        bool queued = false;
        // The stream comes once the run has started; once it is through, the tape ends.
        m_hooks.onTick = [&](CaptureSession& session, std::uint32_t) {
            if (session.InCapture() && !queued) {
                queued = true;
                library->QueueWire(wire);
            } else if (queued && library->WaitUntilScriptDone()) {
                library->EditNode(kGuid, [](test::FakeFireWireLibrary::Node& node) {
                    node.transportState =
                        test::FakeFireWireLibrary::State(avc::kOpcodeWind, avc::kWindStop);
                });
            }
        };
        std::vector<std::string> more{"--single-file", "--set-mtime"};
        if (stopOnDrop) {
            more.push_back("--stop-on-drop");
        }
        const RunResult run = Capture("dv", more);
        m_hooks.onTick = nullptr;
        EXPECT_EQ(run.status, stopOnDrop ? kCaptureExitDropped : kCaptureExitLost)
            << run.out << run.err;
        EXPECT_TRUE(Contains(run.out, "WARNING: Some packets has been lost.\n")) << run.out;
        EXPECT_EQ(Contains(run.out, "Capture has been stopped because of dropped packets\\frames."),
                  stopOnDrop)
            << run.out;
        // The tape held no HDV: the empty dv.m2t is gone, and only dv.dv is dated.
        EXPECT_EQ(test::ListFiles(m_out), std::vector<std::string>{"dv.dv"});
        EXPECT_FALSE(Contains(run.out + run.err, kFileTimeNotSet)) << run.out << run.err;
        EXPECT_EQ(ModificationTime(m_out + "/dv.dv"), HourOf(2007, 6, 15, 10).ToLocalTime());
        if (stopOnDrop) {
            continue;  // where it stopped depends on when the loss was seen
        }
        const Bytes file = test::ReadAll(m_out + "/dv.dv");
        ASSERT_EQ(file.size(), kFrames * frames[0].size());
        for (std::size_t f = 0; f < kFrames; ++f) {
            const Bytes got(file.begin() + static_cast<std::ptrdiff_t>(f * frames[f].size()),
                            file.begin() + static_cast<std::ptrdiff_t>((f + 1) * frames[f].size()));
            EXPECT_EQ(got == frames[f], f != kDamaged) << "frame " << f;
        }
    }
}

// However a capture of a camcorder in camera mode ends (its time is up, a stop signal, the
// camcorder lost), its files are whole packets of what the camcorder sent, and the end is said
// once. Numbered, the scene files' names sort in the order they were written.
TEST_F(CaptureCommandTest, ACameraModeCaptureEndsWithWholeFilesHoweverItEnds) {
    WriteTape();
    const Bytes tape = test::ReadAll(m_tapePath);
    const std::string lost = "ERROR: The camcorder was disconnected during capturing.\n";
    const struct {
        const char* what;
        std::vector<std::string> more;
        bool stopSignal;  // given at the eighth tick; the run ends at the next
        std::optional<double> loseAfterSeconds;
    } cases[] = {
        {"single file, duration", {"--single-file", "--duration=0.3"}, false, {}},
        {"scenes, duration", {"--duration", "0.3", "--naming", "count"}, false, {}},
        {"scenes, stop signal", {"--naming", "count"}, true, {}},
        {"scenes, camcorder lost", {"--naming", "count"}, false, 0.3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        VirtualCamcorderSource::Settings settings = Speed(kFastSpeed, true);
        settings.loseAfterSeconds = c.loseAfterSeconds;
        UseVirtualCamcorder(settings);
        StopFlag stop{0};
        m_hooks.stop = &stop;
        int ticksAfterStop = 0;
        m_hooks.onTick = [&](CaptureSession& session, std::uint32_t tick) {
            if (stop.load() != 0) {
                ++ticksAfterStop;
            } else if (c.stopSignal && tick == 8) {
                ASSERT_TRUE(session.InCapture());
                stop.store(1);  // as the signal handler does
            }
        };
        const RunResult run = Capture("cap", c.more);
        const bool wasLost = c.loseAfterSeconds.has_value();
        EXPECT_EQ(run.status, wasLost ? kCaptureExitFailed : kCaptureExitOk) << run.err;
        EXPECT_EQ(ticksAfterStop, c.stopSignal ? 1 : 0);
        EXPECT_FALSE(test::ListFiles(m_out).empty());
        EXPECT_TRUE(IsWholePacketsOfLoopedTape(AllOutput(), tape));
        EXPECT_EQ(Count(run.out, wasLost ? lost : "End of capturing\n"), 1u) << run.out;
        EXPECT_EQ(Count(run.err, lost), wasLost ? 1u : 0u) << run.err;
    }
}

// A camcorder in camera mode is never told to play (it might record over the tape); one in tape
// playback is played and stopped, or only stopped with --no-play, whose tape that does not play
// ends the run at the third check, as the end of the tape.
TEST_F(CaptureCommandTest, OnlyTapePlaybackIsPlayedAndOnlyWithoutNoPlay) {
    const struct {
        LONG type;
        std::vector<std::string> more;
        std::vector<LONG> sent;
    } cases[] = {
        {ED_DEVTYPE_CAMERA, {"--single-file", "--duration", "0.2"}, {ED_MODE_STOP}},
        {ED_DEVTYPE_VCR, {"--single-file", "--duration", "0.2"}, {ED_MODE_PLAY, ED_MODE_STOP}},
        {ED_DEVTYPE_VCR, {"--single-file", "--no-play"}, {ED_MODE_STOP}},
    };
    for (const auto& c : cases) {
        const std::string name = "run" + std::to_string(&c - cases);
        SCOPED_TRACE(name);
        auto source =
            std::make_shared<TypedCamcorderSource>(std::vector<TypedCamcorderSource::Device>{
                {test::CamcorderClassText(), "Sony", "HDR-FX1", c.type}});
        UseSources({source});
        const RunResult run = Capture(name, c.more);
        EXPECT_EQ(run.status, kCaptureExitOk) << run.err;
        ASSERT_TRUE(source->LastBound());
        EXPECT_EQ(source->LastBound()->SentModes(), c.sent);
        EXPECT_TRUE(std::filesystem::exists(m_out + "/" + name + ".m2t"));
    }
}

TEST_F(CaptureCommandTest, ASplitCaptureWhoseStreamRunsDryEndsNormally) {
    auto source = std::make_shared<TypedCamcorderSource>(std::vector<TypedCamcorderSource::Device>{
        {test::CamcorderClassText(), "Sony", "HDR-FX1", ED_DEVTYPE_CAMERA}});
    UseSources({source});
    m_hooks.onCamcorderFound = [](CaptureSession& session) {
        session.GetCapturePin()->SetTakeChunksTimeout(100ms);
    };
    const RunResult run = Capture("dry");
    EXPECT_EQ(run.status, kCaptureExitOk) << run.err;
    EXPECT_TRUE(Contains(run.out,
                         "INFO: No more data is received from camcoder. Capture stopped.\n"
                         "End of capturing\n"))
        << run.out;
}

// The tape starts with three seconds of DV that sends nothing: said once, and the capture takes
// the HDV that follows.
TEST_F(CaptureCommandTest, ACamcorderPlayingDvIsSaidOnce) {
    WriteTape();
    VirtualCamcorderSource::Settings settings = Speed(kFastSpeed);
    settings.dvAtSeconds = {0};
    UseVirtualCamcorder(settings);
    const RunResult run = Capture("dv", {"--single-file"});
    EXPECT_EQ(run.status, kCaptureExitOk) << run.err;
    const std::string warning =
        "INFO: The camcorder plays DV: it is captured into DV files (.dv).\n";
    const std::size_t first = run.out.find(warning);
    EXPECT_NE(first, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(warning, first + 1), std::string::npos) << run.out;
    const Bytes tape = test::ReadAll(m_tapePath);
    const Bytes file = test::ReadAll(m_out + "/dv.m2t");
    EXPECT_FALSE(file.empty());
    EXPECT_LT(file.size(), tape.size());
    EXPECT_TRUE(std::equal(file.rbegin(), file.rend(), tape.rbegin())) << "the tape after the DV";
}

TEST_F(CaptureCommandTest, StopOnDropEndsAtTheFirstDroppedPictureWithStatusThree) {
    WriteTape({5, 6});
    UseVirtualCamcorder(Speed(0));
    const RunResult stopped = Capture("stopped", {"--single-file", "--stop-on-drop"});
    EXPECT_EQ(stopped.status, kCaptureExitDropped);
    EXPECT_EQ(stopped.err, "Capture has been stopped because of dropped packets\\frames.\n");
    EXPECT_TRUE(Contains(stopped.out, "WARNING: Some packets has been lost.\n"));

    // Without the option the capture goes on to the end, which says what was lost; a capture
    // that lost anything has a status of its own.
    const RunResult reported = Capture("reported", {"--single-file"});
    EXPECT_EQ(reported.status, kCaptureExitLost) << reported.err;
    EXPECT_TRUE(Contains(reported.out, "WARNING: Some packets has been lost.\n"));
    EXPECT_TRUE(Contains(
        reported.out, "WARNING: 2 packets\\frames have been lost during capturing, noticed at 0:"))
        << reported.out;

    // --quiet keeps exactly the warnings, on stderr; the stop's box says nothing new.
    const RunResult quiet = Capture("quiet", {"--single-file", "--stop-on-drop", "--quiet"});
    EXPECT_EQ(quiet.status, kCaptureExitDropped);
    EXPECT_EQ(quiet.out, "");
    const std::string lossLine = "WARNING: Some packets has been lost.\n";
    ASSERT_TRUE(quiet.err.starts_with(lossLine)) << quiet.err;
    const std::string summary = quiet.err.substr(lossLine.size());
    EXPECT_TRUE(summary.starts_with("WARNING: ") && summary.find('\n') == summary.size() - 1 &&
                Contains(summary, " packets\\frames have been lost during capturing, noticed at "))
        << quiet.err;
}

// ---- Losses ----------------------------------------------------------------------------------

constexpr char kSomeLost[] = "WARNING: Some packets has been lost.\n";
constexpr char kLostStart[] = "WARNING: ";
constexpr char kLostCount[] = " packets\\frames have been lost during capturing, noticed at ";
constexpr char kEnded[] = "End of capturing\n";

// The count the end's summary gives, or nothing without one.
std::optional<std::uint64_t> SummaryCount(const std::string& out) {
    const std::size_t end = out.find(kLostCount);
    const std::size_t start = out.rfind(kLostStart, end) + std::strlen(kLostStart);
    return end == std::string::npos ? std::nullopt
                                    : std::optional(std::stoull(out.substr(start, end - start)));
}

// Played as fast as it is taken, a tape far longer than the live queue holds is captured whole.
// A camcorder cannot wait: when the scene files are written too slowly its stream overflows the
// queue, and every packet discarded is counted (in packets) and summed up before the end; the
// capture ends with --stop-on-drop, and has a status of its own without it.
TEST_F(CaptureCommandTest, EveryPacketIsInTheSceneFilesOrCountedAsLost) {
    WriteLongTape();
    const std::size_t tapePackets = test::ReadAll(m_tapePath).size() / PKT_SIZE;
    const std::vector<std::tuple<double, bool, int>> cases{{0, false, kCaptureExitOk},
                                                           {kFastSpeed, false, kCaptureExitLost},
                                                           {kFastSpeed, true, kCaptureExitDropped}};
    for (const auto& [speed, stopOnDrop, status] : cases) {
        SCOPED_TRACE(status);
        std::filesystem::remove_all(m_out);
        std::filesystem::create_directory(m_out);
        UseVirtualCamcorder(Speed(speed));
        CapturePin* pin = nullptr;
        std::uint32_t discarded = 0;
        m_hooks.onCamcorderFound = [&](CaptureSession& session) { pin = session.GetCapturePin(); };
        m_hooks.onTick = [&](CaptureSession&, std::uint32_t) {
            discarded = pin ? pin->Dropped() : 0;
        };
        // The first scene file's flush holds the split job up until the queue has overflowed.
        test::RecordingDiskSync sync;
        sync.onEvent = [&, held = speed == 0](const std::string&) mutable {
            const auto deadline = std::chrono::steady_clock::now() + 30s;
            while (!held && pin->Dropped() == 0 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(1ms);
            }
            held = true;
        };
        m_hooks.diskSync = &sync;
        std::vector<std::string> more{"--naming", "count"};
        if (stopOnDrop) {
            more.push_back("--stop-on-drop");
        }
        const RunResult run = Capture("cap", more);
        EXPECT_EQ(run.status, status) << run.err;
        const std::optional<std::uint64_t> counted = SummaryCount(run.out);
        EXPECT_EQ(counted.has_value(), status != kCaptureExitOk) << run.out;
        EXPECT_GE(counted.value_or(0), discarded) << "broken pictures come on top";
        if (counted) {
            EXPECT_LT(run.out.find(kLostStart), run.out.find(kEnded)) << run.out;
        }
        if (speed == 0) {
            EXPECT_TRUE(AllOutput() == test::ReadAll(m_tapePath));
        } else if (!stopOnDrop) {
            EXPECT_GT(discarded, 0u);
            EXPECT_EQ(AllOutput().size() / PKT_SIZE + discarded, tapePackets);
        }
    }
}

// However a capture ends, a loss just before the end is counted once more as it ends: warned of
// and summed up (how many, and the timecode where it was noticed) before "End of capturing",
// and the exit status says so.
TEST_F(CaptureCommandTest, ALossJustBeforeTheEndIsSaidBeforeTheEndAndSetsTheExitStatus) {
    enum class End { StopSignal, Duration, EndOfTape };
    struct Case {
        const char* name;
        End end;
        std::vector<std::string> more;
        int status;
    };
    const std::vector<Case> cases{
        {"stop signal", End::StopSignal, {}, kCaptureExitLost},
        {"duration", End::Duration, {"--duration", "0.2"}, kCaptureExitLost},
        {"end of tape", End::EndOfTape, {"--no-play"}, kCaptureExitLost},
        {"end of tape, stop on drop",
         End::EndOfTape,
         {"--no-play", "--stop-on-drop"},
         kCaptureExitDropped},
    };
    // The tape that does not play ends the run at the third check.
    constexpr std::uint32_t kTickBeforeTheEnd = 3 * CaptureSession::kChecksEvery - 1;
    const std::string said =
        std::string(kSomeLost) + kLostStart + "4008" + kLostCount + "0:00:12:05 (4008).\n" + kEnded;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        test::FakeCamcorderFaces faces;
        faces.report = true;
        UseSources({std::make_shared<test::FakeDeviceSource>(std::vector<test::FakeDevice>{
            {test::CamcorderClassText(), "Sony", "HDR-FX1", true, false, faces}})});
        StopFlag stop{0};
        m_hooks.stop = &stop;
        m_hooks.onTick = [&](CaptureSession& session, std::uint32_t tick) {
            auto* camcorder = static_cast<test::FakeCamcorder*>(session.Camcorder());
            if (!session.InCapture() || camcorder->droppedPackets.load() != 0 ||
                (c.end == End::EndOfTape && tick != kTickBeforeTheEnd)) {
                return;
            }
            camcorder->timecode = PackTimecode(0, 0, 12, 5);
            camcorder->droppedPackets = 4008;
            if (c.end == End::StopSignal) {
                stop.store(1);
            } else if (c.end == End::Duration) {
                std::this_thread::sleep_for(300ms);  // the time is up at the next tick
            }
        };
        std::vector<std::string> more{"--single-file"};
        more.insert(more.end(), c.more.begin(), c.more.end());
        const RunResult run = Capture("end" + std::to_string(i), more);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(Contains(run.out, said)) << run.out;
    }
}

TEST_F(CaptureCommandTest, AFileThatCannotBeWrittenInFullExitsOne) {
    WriteTape();
    UseVirtualCamcorder(Speed(kFastSpeed));
    constexpr std::uint64_t kRoomOnDisk = 100'000;
    RunResult single;
    RunResult split;
    {
        test::FileSizeLimit limit(kRoomOnDisk);
        ASSERT_TRUE(limit.Ok());
        single = Capture("single", {"--single-file"});
        split = Capture("scenes", {"--quiet"});
    }
    EXPECT_EQ(single.status, kCaptureExitFailed);
    EXPECT_TRUE(Contains(single.err, "ERROR: The capture file can't be written in full"))
        << single.err;
    EXPECT_EQ(split.status, kCaptureExitFailed);
    EXPECT_TRUE(Contains(split.err, "ERROR: This file can't be written in full")) << split.err;
    EXPECT_TRUE(Contains(split.err, "ERROR: The scene files can't be written in full"))
        << split.err;
}

TEST_F(CaptureCommandTest, WithoutACamcorderItGivesUpAfterTwoDetectionAttempts) {
    auto source = std::make_shared<EmptySource>();
    UseSources({source});
    const RunResult run = Capture("none");
    EXPECT_EQ(run.status, kCaptureExitFailed);
    EXPECT_TRUE(Contains(run.err, "no camcorder found")) << run.err;
    EXPECT_TRUE(Contains(run.err, "--list")) << run.err;
    EXPECT_EQ(source->asked.load(), 2);
    EXPECT_TRUE(test::ListFiles(m_out).empty());
}

constexpr char kNoPort[] = "INFO: No FireWire port was found.";

TEST_F(CaptureCommandTest, SaysWhyNoCamcorderIsFoundOnStandardError) {
    UseSources({std::make_shared<EmptySource>(kNoPort)});
    const RunResult run = Capture("none");
    EXPECT_EQ(run.status, kCaptureExitFailed);
    EXPECT_TRUE(Contains(run.err, kNoPort)) << run.err;
    EXPECT_FALSE(Contains(run.out, kNoPort)) << run.out;
}

// The list numbers the camcorders alone, as --device takes them, with their mode and a DV
// signal; without one it fails, after the reason when there is one.
TEST_F(CaptureCommandTest, ListsTheCamcordersNumberedAsDeviceTakesThem) {
    WriteTape();
    VirtualCamcorderSource::Settings hdv = Speed(0);
    hdv.tapePath = m_tapePath;
    VirtualCamcorderSource::Settings dv = hdv;
    dv.dvAtSeconds = {0};
    auto source = std::make_shared<TypedCamcorderSource>(std::vector<TypedCamcorderSource::Device>{
        {test::CamcorderClassText(), "Sony", "HDR-FX1", ED_DEVTYPE_VCR},
        {"{00000000-1111-2222-3333-444444444444}", "Logi", "Webcam", ED_DEVTYPE_CAMERA},
        {test::CamcorderClassText(), "Canon", "XH A1", ED_DEVTYPE_CAMERA}});
    const std::string none = "vornak-capture: no camcorder found\n";
    const struct {
        const char* what;
        std::shared_ptr<IDeviceSource> source;
        std::string out, err;  // it fails when nothing is listed
    } cases[] = {
        {"no device sources at all", nullptr, "", none},
        {"a source without devices", std::make_shared<EmptySource>(), "", none},
        {"one that says why", std::make_shared<EmptySource>(kNoPort), "", kNoPort + ("\n" + none)},
        {"the virtual camcorder", std::make_shared<VirtualCamcorderSource>(hdv),
         "0: Vornak Virtual HDV (tape playback)\n", ""},
        {"playing DV", std::make_shared<VirtualCamcorderSource>(dv),
         "0: Vornak Virtual HDV (tape playback) (DV)\n", ""},
        {"two camcorders and a webcam", source,
         "0: Sony HDR-FX1 (tape playback)\n1: Canon XH A1 (camera)\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseSources(c.source ? std::vector{c.source}
                            : std::vector<std::shared_ptr<IDeviceSource>>{});
        const RunResult list = Run({"--list"});
        EXPECT_EQ(list.status, c.out.empty() ? kCaptureExitFailed : kCaptureExitOk);
        EXPECT_EQ(list.out, c.out);
        EXPECT_EQ(list.err, c.err);
    }

    std::string taken;
    m_hooks.onCamcorderFound = [&](CaptureSession& session) { taken = session.CamcorderName(); };
    EXPECT_EQ(Capture("second", {"--device=1", "--single-file", "--duration=0.1"}).status,
              kCaptureExitOk);
    EXPECT_EQ(taken, "Canon XH A1");
    const RunResult third = Capture("third", {"--device", "2", "--single-file"});
    EXPECT_EQ(third.status, kCaptureExitFailed);
    EXPECT_TRUE(Contains(third.err, "no camcorder found as device 2")) << third.err;
}

TEST_F(CaptureCommandTest, UsageErrorsExitTwoNamingTheOption) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "--name"},
        {{"--output-dir", "x"}, "--name"},
        {{"--name"}, "--name"},
        {{"--name="}, "--name"},
        {{"--name", "x", "--bogus"}, "--bogus"},
        {{"--name", "x", "--naming", "weekly"}, "--naming"},
        {{"--name", "x", "--device", "-1"}, "--device"},
        {{"--name", "x", "--device=one"}, "--device"},
        {{"--name", "x", "--duration", "0"}, "--duration"},
        {{"--name", "x", "--duration=5s"}, "--duration"},
        {{"--name", "x", "--single-file=yes"}, "--single-file"},
        {{"--name", "x", "--quiet=1"}, "--quiet"},
        {{"--name", "x", "--set-mtime=yes"}, "--set-mtime"},
        {{"--name", "x", "tape.m2t"}, "tape.m2t"},
        {{"--name", "x", "--", "tape.m2t"}, "tape.m2t"},
        // A short option is no option of the capture's: the same words as for an operand.
        {{"--name", "x", "-q"}, "unexpected argument: -q"},
        {{"--name", "x", "-"}, "unexpected argument: -"},
        {{"--name", "x", "--rewind", "--no-play"}, "--rewind"},
    };
    for (const auto& [args, named] : cases) {
        const RunResult run = Run(args);
        EXPECT_EQ(run.status, kCaptureExitUsage) << named;
        EXPECT_TRUE(Contains(run.err, named)) << run.err;
        EXPECT_TRUE(Contains(run.err, "Try 'vornak-capture --help'")) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    const RunResult version = Run({"--version"});
    EXPECT_EQ(version.status, kCaptureExitOk);
    EXPECT_EQ(version.out, "vornak-capture (Vornak) 0.77\n");
    const RunResult help = Run({"--help"});
    EXPECT_EQ(help.status, kCaptureExitOk);
    EXPECT_TRUE(Contains(help.out, "Usage: vornak-capture [OPTION]..."));
    EXPECT_TRUE(Contains(help.out, "\n  --set-mtime          give each file the recording date"));
    EXPECT_TRUE(Contains(help.out, ", 4 when the capture lost packets or frames and ended\n"))
        << help.out;
}

// Refused before a camcorder is even looked for: one line naming the folder or the name with
// the system's reason, exit 1, no file and no tape moved.
TEST_F(CaptureCommandTest, AFolderOrNameThatCannotTakeTheFilesIsRefusedAtOnce) {
    auto source = std::make_shared<TypedCamcorderSource>(std::vector<TypedCamcorderSource::Device>{
        {test::CamcorderClassText(), "Sony", "HDR-FX1", ED_DEVTYPE_VCR}});
    UseSources({source});
    const std::string missing = m_dir.File("missing");
    const std::string longName(300, 'n');
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases{
        {{"--output-dir", missing, "--name", "x"}, {missing, "No such file or directory"}},
        {{"--output-dir", missing, "--name", "x", "--single-file"},
         {missing, "No such file or directory"}},
        {{"--output-dir", m_out, "--name", "sub/x"}, {"sub/x", "\"/\""}},
        {{"--output-dir", m_out, "--name", longName}, {longName, "File name too long"}},
        {{"--output-dir", m_out, "--name", longName, "--single-file"},
         {longName, "File name too long"}},
    };
    for (const auto& [args, named] : cases) {
        SCOPED_TRACE(args[1] + " " + args[3].substr(0, 20));
        const RunResult run = Run(args);
        EXPECT_EQ(run.status, kCaptureExitFailed);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(Count(run.err, "\n"), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("ERROR: ", 0), 0u) << run.err;
        for (const std::string& part : named) {
            EXPECT_TRUE(Contains(run.err, part)) << run.err;
        }
    }
    EXPECT_FALSE(source->LastBound()) << "no camcorder was taken, no tape moved";
    EXPECT_TRUE(test::ListFiles(m_out).empty());
}

// A capture whose data or folder cannot be flushed to the disk has not been written.
TEST_F(CaptureCommandTest, AFlushThatFailsExitsOne) {
    WriteTape();
    UseVirtualCamcorder(Speed(0));
    test::RecordingDiskSync sync;
    m_hooks.diskSync = &sync;
    const RunResult good = Capture("good", {"--single-file"});
    EXPECT_EQ(good.status, kCaptureExitOk) << good.err;
    EXPECT_EQ(sync.Events(),
              (std::vector<std::string>{"file " + m_out + "/good.m2t", "folder " + m_out}));
    sync.fileError = EIO;
    const RunResult failed = Capture("failed", {"--single-file", "--quiet"});
    EXPECT_EQ(failed.status, kCaptureExitFailed);
    EXPECT_EQ(failed.err, "ERROR: The capture file can't be written in full (is the disk full?): " +
                              m_out + "/failed.m2t\n");
}

TEST_F(CaptureCommandTest, ATerminalShowsAStatusLineThatQuietLeavesOut) {
    WriteTape();
    UseVirtualCamcorder(Speed(kFastSpeed, true));
    m_hooks.statusToTerminal = true;
    const RunResult shown = Capture("shown", {"--single-file", "--duration", "0.3"});
    ASSERT_EQ(shown.status, kCaptureExitOk) << shown.err;
    EXPECT_TRUE(Contains(shown.err, "\r")) << shown.err;
    EXPECT_TRUE(Contains(shown.err, "  elapsed 0:00:00  ")) << shown.err;
    EXPECT_TRUE(Contains(shown.err, " MB  1 file  dropped 0")) << shown.err;
    EXPECT_EQ(shown.err.find('\n'), std::string::npos) << "nothing else went to the terminal";

    const RunResult quiet = Capture("quiet", {"--single-file", "--duration", "0.3", "--quiet"});
    ASSERT_EQ(quiet.status, kCaptureExitOk) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, "");
}

// ---- File times -------------------------------------------------------------------------------

constexpr char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr std::time_t kSecondsPerHour = 3600;
// Winter and summer dates, a leap day among them, a minute before midnight.
const std::vector<tape::DateTime> kSceneStarts{
    {2007, 1, 15, 9, 30, 5}, {2008, 2, 29, 23, 59, 58}, {2009, 7, 4, 12, 0, 30}};
// How far central Europe is ahead of UTC on each of those dates.
const std::vector<std::time_t> kCentralEuropeOffsets{kSecondsPerHour, kSecondsPerHour,
                                                     2 * kSecondsPerHour};

std::vector<tape::SceneSpec> DatedScenes() {
    std::vector<tape::SceneSpec> scenes;
    for (const tape::DateTime& start : kSceneStarts) {
        scenes.push_back(SceneFrom(start));
    }
    return scenes;
}

// The file system's clock may run a tick behind the wall clock.
bool WrittenBetween(std::time_t when, std::time_t before, std::time_t after) {
    return when >= before - 1 && when <= after + 1;
}

TEST_F(CaptureCommandTest, SetMtimeGivesEachSceneFileItsFirstRecordingDateInLocalTime) {
    WriteTapeOf(DatedScenes(), "dated.m2t");
    UseVirtualCamcorder(Speed(kFastSpeed));
    const RunResult utc = Capture("utc", {"--set-mtime", "--naming", "count"});
    ASSERT_EQ(utc.status, kCaptureExitOk) << utc.err;
    EXPECT_FALSE(Contains(utc.out, "WARNING")) << utc.out;
    std::vector<std::time_t> expected;
    for (const tape::DateTime& start : kSceneStarts) {
        expected.push_back(ToRecordingDate(start).ToLocalTime());
    }
    EXPECT_EQ(TimesOf("utc-"), expected);

    {
        test::ScopedTimeZone europe(kCentralEurope);
        const RunResult cet = Capture("cet", {"--set-mtime", "--naming", "count"});
        ASSERT_EQ(cet.status, kCaptureExitOk) << cet.err;
    }
    const std::vector<std::time_t> cetTimes = TimesOf("cet-");
    ASSERT_EQ(cetTimes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        // The same wall-clock time comes earlier where the clocks are ahead.
        EXPECT_EQ(expected[i] - cetTimes[i], kCentralEuropeOffsets[i]) << "scene " << i;
    }

    // Without the option the files keep the time they were written at.
    const std::time_t before = std::time(nullptr);
    const RunResult plain = Capture("plain", {"--naming", "count"});
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(plain.status, kCaptureExitOk) << plain.err;
    const std::vector<std::time_t> written = TimesOf("plain-");
    ASSERT_EQ(written.size(), expected.size());
    for (const std::time_t when : written) {
        EXPECT_TRUE(WrittenBetween(when, before, after)) << when;
    }
}

TEST_F(CaptureCommandTest, SingleFileSetMtimeTakesTheTapesFirstDateAndTouchesNoOtherFile) {
    WriteTapeOf(DatedScenes(), "dated.m2t");
    UseVirtualCamcorder(Speed(0));
    const RunResult dated = Capture("dated", {"--single-file", "--set-mtime"});
    ASSERT_EQ(dated.status, kCaptureExitOk) << dated.err;
    EXPECT_TRUE(test::ReadAll(m_out + "/dated.m2t") == test::ReadAll(m_tapePath));
    EXPECT_EQ(ModificationTime(m_out + "/dated.m2t"),
              ToRecordingDate(kSceneStarts.front()).ToLocalTime());

    // A file in the way is not the capture's: it keeps its time, date pack or not.
    const std::string inTheWay = m_out + "/taken.m2t";
    test::WriteAll(inTheWay, tape::packets::DatePack(kSceneStarts.back()));
    constexpr std::time_t kOldTime = 1'000'000'000;
    ASSERT_TRUE(SetModificationTime(inTheWay, kOldTime));
    EXPECT_EQ(Capture("taken", {"--single-file", "--set-mtime"}).status, kCaptureExitFailed);
    EXPECT_EQ(ModificationTime(inTheWay), kOldTime);

    // A tape without date packs: the file keeps the time it was written at.
    WriteTapeOf({SceneFrom(kSceneStarts.front(), true)}, "undated.m2t");
    UseVirtualCamcorder(Speed(0));
    const std::time_t before = std::time(nullptr);
    const RunResult undated = Capture("undated", {"--single-file", "--set-mtime"});
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(undated.status, kCaptureExitOk) << undated.err;
    EXPECT_FALSE(Contains(undated.out + undated.err, "WARNING")) << undated.out << undated.err;
    EXPECT_TRUE(WrittenBetween(ModificationTime(m_out + "/undated.m2t"), before, after));
}

// The console alone: which finished scenes it dates, and the warning when it cannot.
TEST(CaptureConsole, DatesFinishedScenesOnlyWhenAskedAndWarnsWhenItCannot) {
    test::ScopedTimeZone tz("UTC0");
    test::TempDir dir;
    const std::string file = dir.File("scene.m2t");
    test::WriteAll(file, Bytes(PKT_SIZE, 0));
    const std::time_t written = ModificationTime(file);
    SceneSummary scene;
    scene.path = file;
    scene.firstDate = ToRecordingDate(kSceneStarts[1]);
    scene.lastDate = ToRecordingDate(kSceneStarts[2]);
    const std::time_t firstDate = scene.firstDate->ToLocalTime();

    std::ostringstream out;
    std::ostringstream err;
    CaptureConsole off(out, err, /*quiet=*/false, false, false, /*setFileTimes=*/false);
    off.SceneFinished(scene);
    EXPECT_EQ(ModificationTime(file), written);

    CaptureConsole on(out, err, /*quiet=*/false, false, false, /*setFileTimes=*/true);
    SceneSummary undated = scene;
    undated.firstDate.reset();
    on.SceneFinished(undated);
    EXPECT_EQ(ModificationTime(file), written);
    on.SceneFinished(scene);
    EXPECT_EQ(ModificationTime(file), firstDate);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "");

    // A file that is gone: one warning line naming it, on the log's stream.
    SceneSummary gone = scene;
    gone.path = dir.File("missing/scene.m2t");
    on.SceneFinished(gone);
    EXPECT_EQ(out.str(), "WARNING: Can't set the modification time of: " + gone.path + "\n");
    EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace vornak
