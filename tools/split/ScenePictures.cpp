#include "ScenePictures.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>
#include <utility>

#include "ContactSheet.h"
#include "JpegFile.h"

namespace vornak {

namespace {

constexpr const char* kJpegExtension = ".jpg";
constexpr const char* kAlreadyExists =
    "WARNING: This file already exists and won't be overwritten: ";
constexpr const char* kCannotCreate = "ERROR: This file can't be created: ";
// Clashing names move on to a longer base name, as scene files do in date-and-time naming.
constexpr const char* kNewSuffix = "-new";

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<long>(suffix.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

}  // namespace

ScenePictures::ScenePictures(std::string thumbnailDir, std::string contactSheet, bool severalInputs)
    : m_thumbnailDir(std::move(thumbnailDir)),
      m_contactSheet(std::move(contactSheet)),
      m_bSeveralInputs(severalInputs) {}

ScenePictures::~ScenePictures() = default;

std::string ScenePictures::InputBase(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

std::string ScenePictures::ThumbnailName(const std::string& dir, const std::string& base,
                                         std::int32_t number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "-%04d", static_cast<int>(number));
    return JoinPath(dir, base + digits + kJpegExtension);
}

void ScenePictures::StartFile(const std::string& path) {
    m_inputPath = path;
    m_thumbnailBase = InputBase(path);
    m_done.clear();
    m_files.clear();
    if (Active()) {
        m_worker = std::make_unique<ThumbnailWorker>(
            path, [this](ThumbnailWorker::Result& result) { OnThumbnail(result); });
    }
}

void ScenePictures::AddScene(const SceneSummary& scene) {
    if (m_worker) {
        m_worker->Add(scene);
    }
}

void ScenePictures::OnThumbnail(ThumbnailWorker::Result& result) {
    Done done;
    done.scene = result.scene;
    if (result.status != SceneThumbnailer::Status::Made) {
        done.messages.push_back("WARNING: Scene " + std::to_string(result.scene.number) +
                                " has no thumbnail, " + SceneThumbnailer::Reason(result.status) +
                                ": " + m_inputPath);
    } else if (!m_thumbnailDir.empty()) {
        done.file = WriteThumbnail(result.image, result.scene.number, done);
    }
    if (!m_contactSheet.empty()) {
        done.image = std::move(result.image);
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_done.push_back(std::move(done));
}

std::string ScenePictures::WriteThumbnail(const RgbImage& image, std::int32_t number, Done& done) {
    for (;;) {
        const std::string name = ThumbnailName(m_thumbnailDir, m_thumbnailBase, number);
        switch (JpegFile::Write(name, image)) {
            case JpegFile::Result::Written:
                return name;
            case JpegFile::Result::AlreadyExists:
                done.messages.push_back(kAlreadyExists + name);
                m_thumbnailBase += kNewSuffix;
                break;
            case JpegFile::Result::Failed:
                done.messages.push_back(kCannotCreate + name);
                done.failed = true;
                return {};
        }
    }
}

void ScenePictures::EndFile(bool complete, LogSink& log) {
    if (!m_worker) {
        return;
    }
    if (complete) {
        m_worker->Finish();
    } else {
        m_worker->Cancel();
    }
    m_worker.reset();
    for (const Done& done : m_done) {
        for (const std::string& message : done.messages) {
            log.AddLog(message);
        }
        m_bFailed = m_bFailed || done.failed;
        if (!done.file.empty()) {
            m_files[done.scene.number] = done.file;
        }
    }
    if (complete && !m_contactSheet.empty()) {
        WriteContactSheets(log);
    }
}

std::string ScenePictures::SheetStem() const {
    std::string stem = m_contactSheet;
    for (const char* extension : {".jpg", ".jpeg"}) {
        if (EndsWithNoCase(stem, extension)) {
            stem.resize(stem.size() - std::char_traits<char>::length(extension));
            break;
        }
    }
    if (m_bSeveralInputs) {
        stem += "-" + InputBase(m_inputPath);
    }
    return stem;
}

void ScenePictures::WriteContactSheets(LogSink& log) {
    std::vector<ContactSheet::Entry> entries;
    for (const Done& done : m_done) {
        entries.push_back({done.scene, done.image.Empty() ? nullptr : &done.image});
    }
    const std::size_t pages = std::max<std::size_t>(
        1, (entries.size() + ContactSheet::kScenesPerSheet - 1) / ContactSheet::kScenesPerSheet);
    const std::string scenes =
        std::to_string(entries.size()) + (entries.size() == 1 ? " scene" : " scenes");
    std::string stem = SheetStem();
    const auto pathOf = [&stem, pages](std::size_t page) {
        return stem + (pages > 1 ? "-" + std::to_string(page + 1) : std::string()) + kJpegExtension;
    };
    // The pages of one sheet keep one name: a clash on any page moves them all to "-new".
    for (std::size_t page = 0; page < pages; ++page) {
        std::error_code ec;
        if (std::filesystem::exists(pathOf(page), ec)) {
            log.AddLog(kAlreadyExists + pathOf(page));
            stem += kNewSuffix;
            page = static_cast<std::size_t>(-1);
        }
    }
    for (std::size_t page = 0; page < pages;) {
        const std::string path = pathOf(page);
        const std::size_t first = page * ContactSheet::kScenesPerSheet;
        const std::size_t count =
            std::min<std::size_t>(ContactSheet::kScenesPerSheet, entries.size() - first);
        std::string title = m_inputPath + "   " + scenes;
        if (pages > 1) {
            title += "   (" + std::to_string(page + 1) + "/" + std::to_string(pages) + ")";
        }
        switch (ContactSheet::Write(
            path, title, std::span<const ContactSheet::Entry>(entries).subspan(first, count))) {
            case JpegFile::Result::Written:
                ++page;
                break;
            case JpegFile::Result::AlreadyExists:
                log.AddLog(kAlreadyExists + path);
                stem += kNewSuffix;
                break;
            case JpegFile::Result::Failed:
                log.AddLog(kCannotCreate + path);
                m_bFailed = true;
                return;
        }
    }
}

}  // namespace vornak
