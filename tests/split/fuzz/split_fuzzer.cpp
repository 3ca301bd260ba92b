// libFuzzer entry point for the plain-mode split. Not part of the regular build; build it by hand:
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc/split \
//       tests/split/fuzz/split_fuzzer.cpp src/split/*.cpp -o split_fuzzer
//   ./split_fuzzer -max_len=400000 corpus/
//
// Seed the corpus with small tapes from vornak-mktape. The first input byte picks the read buffer
// size, so that cuts and scans meet buffer boundaries at many offsets; the rest is the input file.
// Besides crashes and sanitizer reports, the fuzzer stops when the scene files back to back are
// not an unbroken tail of the input, which plain mode must always produce, and when a listing of
// the same input does not find scenes of the very sizes the split wrote.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "SceneSplitter.h"
#include "TsPacket.h"

namespace {

constexpr std::size_t kMinBufferPackets = 7;

class SceneLengths : public vornak::LogSink {
  public:
    void AddLog(vornak::LogSeverity, const std::string&) override {}
    void SceneFinished(const vornak::SceneSummary& scene) override {
        lengths.push_back(scene.length);
    }
    std::vector<std::uint64_t> lengths;
};

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t bufferBytes = (kMinBufferPackets + data[0]) * vornak::PKT_SIZE;
    const std::uint8_t* input = data + 1;
    const std::size_t inputSize = size - 1;

    std::string dir = (std::filesystem::temp_directory_path() / "vornak-fuzz-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        return 0;
    }
    const std::filesystem::path root(dir);
    {
        std::ofstream out(root / "in.m2t", std::ios::binary);
        out.write(reinterpret_cast<const char*>(input), static_cast<std::streamsize>(inputSize));
    }
    std::filesystem::create_directory(root / "out");

    vornak::SceneSplitter splitter(
        (root / "in.m2t").string(),
        {.baseName = (root / "out" / "s").string(), .extension = "m2t", .dateTimeNaming = false});
    splitter.SetReadBufferSize(bufferBytes);
    splitter.Run();

    // Count-named files sort in the order they were made.
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(root / "out")) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::uint8_t> all;
    std::vector<std::uint64_t> sizes;
    for (const auto& file : files) {
        const auto part = ReadFile(file);
        all.insert(all.end(), part.begin(), part.end());
        sizes.push_back(part.size());
    }
    SceneLengths listed;
    vornak::SceneSplitter lister((root / "in.m2t").string(),
                                 {.baseName = (root / "out" / "s").string(),
                                  .extension = "m2t",
                                  .dateTimeNaming = false,
                                  .listOnly = true});
    lister.SetReadBufferSize(bufferBytes);
    lister.SetLog(&listed);
    lister.Run();
    const bool tail = all.size() <= inputSize &&
                      std::equal(all.begin(), all.end(), input + (inputSize - all.size()));
    std::filesystem::remove_all(root);
    if (!tail) {
        std::fprintf(stderr, "scene files are not an unbroken tail of the input\n");
        std::abort();
    }
    if (listed.lengths != sizes) {
        std::fprintf(stderr, "the listing's scenes are not the files the split wrote\n");
        std::abort();
    }
    return 0;
}
