#include "ScenePictures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <system_error>
#include <utility>

#include "ContactSheet.h"
#include "DiskSync.h"
#include "JpegFile.h"
#include "OutputCheck.h"
#include "TapeSceneLister.h"

namespace vornak {

namespace {

constexpr const char* kJpegExtension = ".jpg";
constexpr const char* kAlreadyExists =
    "WARNING: This file already exists and won't be overwritten: ";
constexpr const char* kCannotCreate = "ERROR: This file can't be created: ";
constexpr const char* kCannotRemove = "WARNING: This file can't be removed: ";
constexpr const char* kSheetExtensions[] = {".jpg", ".jpeg"};
// The longest name a sheet's pages take before any "-new": the first of several pages.
constexpr const char* kFirstPage = "-1";
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

// The extension `name` ends in, as written, when it is a sheet's: empty when none is.
std::string SheetExtension(const std::string& name) {
    for (const char* extension : kSheetExtensions) {
        if (EndsWithNoCase(name, extension)) {
            return name.substr(name.size() - std::char_traits<char>::length(extension));
        }
    }
    return {};
}

// `path` without the "/" that may end it, so that messages name the files as they are made.
std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string LastComponent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ScenePictures::ScenePictures(std::string thumbnailDir, std::string contactSheet, bool severalInputs)
    : m_thumbnailDir(std::move(thumbnailDir)),
      m_contactSheet(std::move(contactSheet)),
      m_sheetExtension(SheetExtension(m_contactSheet)),
      m_bSeveralInputs(severalInputs) {}

std::string ScenePictures::ContactSheetNameProblem(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return "--contact-sheet takes a file name, not the folder '" + name + "'";
        }
        if (!S_ISREG(st.st_mode)) {
            return "--contact-sheet takes a file name, not '" + name +
                   "', which is no regular file";
        }
    }
    const std::string extension = SheetExtension(name);
    if (extension.empty() || LastComponent(name).size() == extension.size()) {
        return "--contact-sheet takes a name ending in .jpg or .jpeg, such as sheet.jpg, not '" +
               name + "'";
    }
    return {};
}

std::string ScenePictures::CheckFolders() const {
    if (!m_thumbnailDir.empty()) {
        if (std::string problem = CheckOutputFolder(m_thumbnailDir); !problem.empty()) {
            return problem;
        }
    }
    if (!m_contactSheet.empty()) {
        return CheckOutputFolder(FolderOf(m_contactSheet));
    }
    return {};
}

std::string ScenePictures::CheckNames(const std::string& path) const {
    const std::string base = InputBase(path);
    if (!m_thumbnailDir.empty()) {
        const std::string name = LastComponent(ThumbnailName(m_thumbnailDir, base, 0));
        if (std::string problem = CheckOutputFile(WithoutTrailingSlash(m_thumbnailDir), name);
            !problem.empty()) {
            return problem;
        }
    }
    if (!m_contactSheet.empty()) {
        std::string stem = LastComponent(m_contactSheet);
        stem.resize(stem.size() - m_sheetExtension.size());
        if (m_bSeveralInputs) {
            stem += "-" + base;
        }
        return CheckOutputFile(FolderOf(m_contactSheet), stem + kFirstPage + m_sheetExtension);
    }
    return {};
}

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
            path, [this](ThumbnailWorker::Result& result) { OnThumbnail(result); },
            TapeSceneLister::ThumbnailFormatOf(path));
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
        done.messages.emplace_back(
            LogSeverity::Warning, "WARNING: Scene " + std::to_string(result.scene.number) +
                                      " has no thumbnail, " +
                                      SceneThumbnailer::Reason(result.status) + ": " + m_inputPath);
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
        int error = 0;
        switch (JpegFile::Write(name, image, &error)) {
            case JpegFile::Result::Written:
                return name;
            case JpegFile::Result::AlreadyExists:
                done.messages.emplace_back(LogSeverity::Warning, kAlreadyExists + name);
                m_thumbnailBase += kNewSuffix;
                break;
            case JpegFile::Result::Failed:
                done.messages.emplace_back(
                    LogSeverity::Error,
                    kCannotCreate + name + " (" + JpegFile::FailureReason(error) + ")");
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
        for (const auto& [severity, message] : done.messages) {
            log.AddLog(severity, message);
        }
        m_bFailed = m_bFailed || done.failed;
        if (!done.file.empty()) {
            m_files[done.scene.number] = done.file;
        }
    }
    if (!complete) {
        RemoveThumbnails(log);
    } else if (!m_contactSheet.empty()) {
        WriteContactSheets(log);
    }
}

// Every thumbnail left on the disk belongs to a scene the listing shows: an input that is left
// out takes its thumbnails with it. Only files this run made are removed.
void ScenePictures::RemoveThumbnails(LogSink& log) {
    for (const auto& [number, file] : m_files) {
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
            log.AddLog(LogSeverity::Warning,
                       kCannotRemove + file + " (" + std::strerror(errno) + ")");
            m_bFailed = true;
        }
    }
    m_files.clear();
}

std::string ScenePictures::SheetStem() const {
    std::string stem = m_contactSheet;
    stem.resize(stem.size() - m_sheetExtension.size());
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
    const auto pathOf = [this, &stem, pages](std::size_t page) {
        return stem + (pages > 1 ? "-" + std::to_string(page + 1) : std::string()) +
               m_sheetExtension;
    };
    // The pages of one sheet keep one name: a clash on any page moves them all to "-new".
    for (std::size_t page = 0; page < pages; ++page) {
        std::error_code ec;
        if (std::filesystem::exists(pathOf(page), ec)) {
            log.AddLog(LogSeverity::Warning, kAlreadyExists + pathOf(page));
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
        std::string reason;
        switch (ContactSheet::Write(
            path, title, std::span<const ContactSheet::Entry>(entries).subspan(first, count),
            reason)) {
            case JpegFile::Result::Written:
                ++page;
                break;
            case JpegFile::Result::AlreadyExists:
                log.AddLog(LogSeverity::Warning, kAlreadyExists + path);
                stem += kNewSuffix;
                break;
            case JpegFile::Result::Failed:
                // The other pages are still worth having.
                log.AddLog(LogSeverity::Error, kCannotCreate + path + " (" + reason + ")");
                m_bFailed = true;
                ++page;
                break;
        }
    }
}

}  // namespace vornak
