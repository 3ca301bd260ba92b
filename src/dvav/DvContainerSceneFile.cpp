#include "DvContainerSceneFile.h"

#include <unistd.h>

#include <cstring>
#include <span>

#include "DvFrameReader.h"

namespace vornak {

DvContainerSceneFile::DvContainerSceneFile(dv::DvContainer container, LogSink* log)
    : m_container(container), m_pLog(log) {}

OutputFile::Create DvContainerSceneFile::CreateNew(const std::string& path) {
    m_path = path;
    m_leftOut = 0;
    switch (m_writer.CreateNew(path, m_container)) {
        case dv::DvContainerWriter::Create::kCreated:
            m_open = true;
            return OutputFile::Create::Created;
        case dv::DvContainerWriter::Create::kAlreadyExists:
            return OutputFile::Create::AlreadyExists;
        case dv::DvContainerWriter::Create::kFailed:
            break;
    }
    return OutputFile::Create::Failed;
}

// The job's writes end where a piece ends, so the pieces of one write are those the job found.
std::size_t DvContainerSceneFile::Write(const std::uint8_t* data, std::size_t size) {
    if (!m_open) {
        return 0;
    }
    dv::DvFrameReader reader;
    dv::DvPiece piece;
    std::span<const std::uint8_t> rest(data, size);
    while (reader.Next(rest, true, piece)) {
        rest = rest.subspan(piece.bytes.size());
        if (piece.kind == dv::DvPieceKind::kGarbage) {
            m_leftOut += piece.bytes.size();
        } else if (!m_writer.Write(piece.bytes)) {
            return 0;
        }
    }
    return size;
}

bool DvContainerSceneFile::Close() {
    if (!m_open) {
        return true;
    }
    m_open = false;
    if (m_leftOut > 0 && m_pLog != nullptr) {
        m_pLog->AddLog(LogSeverity::Warning, "WARNING: " + std::to_string(m_leftOut) +
                                                 " bytes that begin no DV frame have no place in " +
                                                 m_path + " and were left out");
    }
    return m_writer.Close();
}

bool DvContainerSceneFile::RemoveIfEmpty(const std::string& path) {
    if (!m_open || m_writer.FramesWritten() > 0) {
        return false;
    }
    m_open = false;
    m_writer.Close();  // nothing was laid down yet: the file is empty
    return ::unlink(path.c_str()) == 0;
}

std::string DvContainerSceneFile::Reason() const {
    if (m_writer.LastError() != 0) {
        return std::strerror(m_writer.LastError());
    }
    return m_writer.Error();
}

}  // namespace vornak
