// The pictures `vornak-split --list-scenes` makes besides its list: a JPEG thumbnail per scene
// (--thumbnails DIR) and contact sheets (--contact-sheet FILE). The thumbnails of an input are
// decoded on a thread of their own while the listing goes on reading; its messages come out
// on the listing's thread, in scene order, once the input is done.
//
// Not thread-safe beyond that: call everything from the listing's thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "LogSink.h"
#include "RgbImage.h"
#include "SceneSummary.h"
#include "ThumbnailWorker.h"

namespace vornak {

class ScenePictures {
  public:
    // Empty `thumbnailDir`: no thumbnail files; empty `contactSheet`: no sheets. With several
    // inputs each input's sheet carries its base name ("sheet-tape.jpg"). `contactSheet` is a
    // name that ContactSheetNameProblem accepts.
    ScenePictures(std::string thumbnailDir, std::string contactSheet, bool severalInputs);
    ~ScenePictures();
    ScenePictures(const ScenePictures&) = delete;
    ScenePictures& operator=(const ScenePictures&) = delete;

    bool Active() const { return !m_thumbnailDir.empty() || !m_contactSheet.empty(); }

    // Why the contact sheet cannot be `name`, for a usage error: it must end in .jpg or .jpeg
    // (as given: nothing is appended) and be no folder, device or other file that is not a
    // regular one. Empty when it can be.
    static std::string ContactSheetNameProblem(const std::string& name);

    // Checked before any input is read. The folders that take the pictures: an "ERROR: ..." line
    // with the system's reason, or empty when files can be made there.
    std::string CheckFolders() const;
    // The names the pictures of the input `path` will get: an "ERROR: ..." line when they are
    // too long for the file system, or empty.
    std::string CheckNames(const std::string& path) const;

    void StartFile(const std::string& path);
    void AddScene(const SceneSummary& scene);
    // Waits for the input's thumbnails, reports what is missing to `log` and writes the
    // contact sheet. An input not read to its end (`complete` false: it failed, or the run was
    // stopped) is not listed, so it gets no sheet, and the thumbnails it had are removed again.
    void EndFile(bool complete, LogSink& log);

    // The thumbnail files of the last input, by scene number.
    const std::map<std::int32_t, std::string>& Thumbnails() const { return m_files; }
    // A file could not be written.
    bool Failed() const { return m_bFailed; }

    // "DIR/BASE-0007.jpg" for scene 7 of an input whose base name is BASE.
    static std::string ThumbnailName(const std::string& dir, const std::string& base,
                                     std::int32_t number);
    // The base name of an input: its file name without folder and extension.
    static std::string InputBase(const std::string& path);

  private:
    struct Done {
        SceneSummary scene;
        RgbImage image;    // kept for the contact sheet
        std::string file;  // the thumbnail file written, if any
        std::vector<std::pair<LogSeverity, std::string>> messages;
        bool failed = false;
    };

    // On the worker's thread.
    void OnThumbnail(ThumbnailWorker::Result& result);
    std::string WriteThumbnail(const RgbImage& image, std::int32_t number, Done& done);
    void WriteContactSheets(LogSink& log);
    void RemoveThumbnails(LogSink& log);
    std::string SheetStem() const;

    const std::string m_thumbnailDir;
    const std::string m_contactSheet;
    const std::string m_sheetExtension;  // as the user wrote it: ".jpg", ".JPEG", ...
    const bool m_bSeveralInputs;
    std::string m_inputPath;
    std::string m_thumbnailBase;  // worker thread only while it runs: grows "-new" on a clash
    std::unique_ptr<ThumbnailWorker> m_worker;
    std::mutex m_mutex;
    std::vector<Done> m_done;  // guarded by m_mutex while the worker runs
    std::map<std::int32_t, std::string> m_files;
    bool m_bFailed = false;
};

}  // namespace vornak
