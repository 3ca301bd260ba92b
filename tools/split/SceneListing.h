// What `vornak-split --list-scenes` prints: a table per input as it is read, or one JSON
// document for all inputs at the end.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "SceneSummary.h"

namespace vornak {

// "2006-05-01T14:03:59": ISO 8601 without a zone, as the camcorder records local time.
std::string IsoDateTime(const RecordingDate& date);

class SceneListing {
  public:
    // With `thumbnails`, each scene of the JSON document names its thumbnail file (or null).
    explicit SceneListing(bool json, bool thumbnails = false)
        : m_bJson(json), m_bThumbnails(thumbnails) {}

    // The scenes that follow belong to this input, of `size` bytes.
    void StartFile(const std::string& path, std::uint64_t size);
    void AddScene(const SceneSummary& scene);
    // The thumbnail files of the current input's scenes, by scene number.
    void SetThumbnails(std::map<std::int32_t, std::string> files);
    // The input was read to its end: its table is printed, or it joins the document. An input
    // that was not (it did not open, failed to read, or the run was stopped) is left out.
    void EndFile(bool complete, std::ostream& out);
    // The JSON document, once all inputs are done; nothing in the table form.
    void Finish(std::ostream& out) const;

    // The table of one input.
    static std::string Table(const std::string& path, std::uint64_t size,
                             const std::vector<SceneSummary>& scenes);
    // The document for all inputs. Paths are written as their bytes: valid UTF-8 as it is, and
    // each byte that is not as "\udcXX", the lone surrogate U+DC00 + byte, as Python's
    // surrogateescape reads file names.
    struct File {
        std::string path;
        std::uint64_t size = 0;
        std::vector<SceneSummary> scenes;
        bool withThumbnails = false;                       // the scenes get a "thumbnail" key
        std::map<std::int32_t, std::string> thumbnails{};  // by scene number
    };
    static std::string Json(const std::vector<File>& files);

  private:
    bool m_bJson;
    bool m_bThumbnails;
    File m_current;
    std::vector<File> m_done;
};

}  // namespace vornak
