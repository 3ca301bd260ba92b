// One page of a tape's scenes at a glance: their thumbnails in rows of four, each captioned
// with its number, first recording date and time and duration, under a title. Drawn with cairo
// (text through fontconfig), which needs neither Qt nor a display, and written as a JPEG file.
#pragma once

#include <span>
#include <string>

#include "JpegFile.h"
#include "RgbImage.h"
#include "SceneSummary.h"

namespace vornak {

class ContactSheet {
  public:
    static constexpr int kColumns = 4;
    static constexpr int kScenesPerSheet = 40;

    struct Entry {
        SceneSummary scene;
        const RgbImage* image = nullptr;  // null: the scene has no thumbnail
    };

    // Draws `entries` (at most kScenesPerSheet are drawn) under `title` and writes the sheet
    // to `path`, which must not exist. A picture that cannot be drawn gets the cell of a scene
    // without one. On Failed, `reason` says why.
    static JpegFile::Result Write(const std::string& path, const std::string& title,
                                  std::span<const Entry> entries, std::string& reason);

    // Frees what cairo and fontconfig keep for the life of the process (font caches, the font
    // configuration), so that a leak checker at exit sees only real leaks. For the end of
    // main(): no cairo object may be alive, and neither library is used again afterwards.
    static void ReleaseLibraryCaches();

    // "3  2006-05-01 14:03:59  0:12": number, first date and time, duration.
    static std::string Caption(const SceneSummary& scene);
    // "0:07", "12:30", "1:02:03".
    static std::string Duration(double seconds);
};

}  // namespace vornak
