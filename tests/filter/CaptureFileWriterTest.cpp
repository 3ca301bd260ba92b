// The capture file writer: whole packets on disk at every moment, a failed write cut back to a
// packet boundary and reported, and the flush to the disk at the close.
#include "CaptureFileWriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "RecordingDiskSync.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kBuffer = CaptureFileWriter::kBufferPackets * PKT_SIZE;

Bytes Packets(std::size_t count) {
    Bytes data(count * PKT_SIZE);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i % PKT_SIZE == 0 ? SYNC_BYTE : i * 7);
    }
    return data;
}

std::uintmax_t SizeOnDisk(const std::string& path) {
    return std::filesystem::file_size(path);
}

TEST(CaptureFileWriter, TheFileOnDiskAlwaysEndsOnAPacketBoundary) {
    test::TempDir dir;
    const std::string path = dir.File("capture.m2t");
    CaptureFileWriter::Create created{};
    int error = -1;
    CaptureFile file = CaptureFileWriter::CreateNew(path, created, error);
    ASSERT_TRUE(file);
    EXPECT_EQ(created, CaptureFileWriter::Create::Created);
    EXPECT_EQ(error, 0);

    // Chunks of 5 packets never fill the buffer evenly: what goes out must still be whole
    // packets, whatever a kill leaves behind.
    const Bytes all = Packets(2 * CaptureFileWriter::kBufferPackets + 50);
    for (std::size_t at = 0; at < all.size(); at += 5 * PKT_SIZE) {
        const std::size_t size = std::min<std::size_t>(5 * PKT_SIZE, all.size() - at);
        ASSERT_TRUE(file->Write(all.data() + at, size));
        EXPECT_EQ(SizeOnDisk(path) % PKT_SIZE, 0u) << "after " << at + size << " bytes";
    }
    EXPECT_EQ(SizeOnDisk(path), 2 * kBuffer);  // the rest is held until the close
    EXPECT_TRUE(file->Close());
    EXPECT_EQ(test::ReadAll(path), all);
    EXPECT_TRUE(file->Close()) << "a second close gives the same answer";

    // Never onto a file that is there.
    CaptureFile again = CaptureFileWriter::CreateNew(path, created, error);
    EXPECT_FALSE(again);
    EXPECT_EQ(created, CaptureFileWriter::Create::AlreadyExists);
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(test::ReadAll(path), all);
    EXPECT_FALSE(CaptureFileWriter::CreateNew(dir.File("missing/capture.m2t"), created, error));
    EXPECT_EQ(created, CaptureFileWriter::Create::Failed);
    EXPECT_EQ(error, ENOENT);
}

TEST(CaptureFileWriter, AFullDiskCutsTheFileBackToItsLastWholePacket) {
    test::TempDir dir;
    const std::string path = dir.File("capture.m2t");
    const Bytes all = Packets(3 * CaptureFileWriter::kBufferPackets);
    constexpr std::uint64_t kRoom = 100'000;  // not a whole number of packets
    bool wrote = true;
    bool closed = true;
    {
        test::FileSizeLimit limit(kRoom);
        ASSERT_TRUE(limit.Ok());
        CaptureFileWriter::Create created{};
        int error = 0;
        CaptureFile file = CaptureFileWriter::CreateNew(path, created, error);
        ASSERT_TRUE(file);
        wrote = file->Write(all.data(), all.size());
        EXPECT_TRUE(file->Failed());
        EXPECT_FALSE(file->Write(all.data(), PKT_SIZE)) << "nothing more after a failure";
        closed = file->Close();
    }
    EXPECT_FALSE(wrote);
    EXPECT_FALSE(closed);
    const Bytes onDisk = test::ReadAll(path);
    EXPECT_EQ(onDisk.size(), kRoom - kRoom % PKT_SIZE);
    EXPECT_TRUE(std::equal(onDisk.begin(), onDisk.end(), all.begin()));
}

TEST(CaptureFileWriter, ClosingFlushesTheFileToTheDiskAndAFailedFlushIsAFailedWrite) {
    test::TempDir dir;
    const Bytes data = Packets(10);
    for (const int error : {0, EIO}) {
        SCOPED_TRACE(error);
        const std::string path = dir.File("capture" + std::to_string(error) + ".m2t");
        test::RecordingDiskSync sync;
        sync.fileError = error;
        CaptureFile file = CaptureFileWriter::CreateNew(path);
        ASSERT_TRUE(file);
        file->SetDiskSync(&sync);
        ASSERT_TRUE(file->Write(data.data(), data.size()));
        EXPECT_TRUE(sync.Events().empty()) << "nothing is flushed before the close";
        EXPECT_EQ(file->Close(), error == 0);
        EXPECT_EQ(file->LastError(), error);
        EXPECT_EQ(sync.Events(), std::vector<std::string>{"file " + path});
        EXPECT_EQ(test::ReadAll(path), data) << "the data went out before the flush";
    }
}

}  // namespace
}  // namespace vornak
