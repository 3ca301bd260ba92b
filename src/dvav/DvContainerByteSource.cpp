#include "DvContainerByteSource.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace vornak {

InputFile::OpenResult DvContainerByteSource::Open(const std::string& path) {
    m_path = path;
    m_said = false;
    m_rest = {};
    m_starts.clear();
    m_handedOut = 0;
    m_error.clear();
    m_open = m_reader.Open(path);
    if (!m_open) {
        m_error = m_reader.Error();
        return InputFile::OpenResult::CannotOpen;
    }
    return InputFile::OpenResult::Opened;
}

InputFile::Status DvContainerByteSource::Read(std::uint8_t* dest, std::size_t size,
                                              std::size_t& got) {
    got = 0;
    if (!m_open) {
        return InputFile::Status::EndOfFile;
    }
    while (got < size) {
        if (m_rest.empty()) {
            dv::DvContainerFrame frame;
            switch (m_reader.Next(frame)) {
                case dv::DvContainerReader::Status::kFrame:
                    m_rest = frame.bytes;
                    if (m_starts.size() == kRememberedFrames) {
                        m_starts.pop_front();
                    }
                    m_starts.push_back({m_handedOut, frame.fileOffset});
                    continue;
                case dv::DvContainerReader::Status::kEnd:
                    SayWhatWasPassedOver();
                    return InputFile::Status::EndOfFile;
                case dv::DvContainerReader::Status::kError:
                    SayWhatWasPassedOver();
                    m_error = m_reader.Error();
                    return InputFile::Status::Error;
            }
        }
        const std::size_t take = std::min(size - got, m_rest.size());
        std::memcpy(dest + got, m_rest.data(), take);
        m_rest = m_rest.subspan(take);
        got += take;
        m_handedOut += take;
    }
    return InputFile::Status::Ok;
}

void DvContainerByteSource::SayWhatWasPassedOver() {
    const std::uint64_t skipped = m_reader.SkippedBytes();
    if (m_said || skipped == 0 || m_pLog == nullptr) {
        return;
    }
    m_said = true;
    m_pLog->AddLog(LogSeverity::Warning, "WARNING: " + std::to_string(skipped) +
                                             " damaged bytes between the frames of " + m_path +
                                             " begin no frame and were passed over");
}

std::int64_t DvContainerByteSource::FileOffsetOf(std::uint64_t streamOffset) const {
    const auto after = std::upper_bound(
        m_starts.begin(), m_starts.end(), streamOffset,
        [](std::uint64_t at, const FrameStart& start) { return at < start.streamOffset; });
    if (after == m_starts.begin()) {
        return -1;
    }
    return std::prev(after)->fileOffset;
}

void DvContainerByteSource::Close() {
    m_rest = {};
    m_open = false;
}

}  // namespace vornak
