// Sorts what a file manager drops onto the scenes page's list: local files with the extensions
// of transport-stream tapes are taken, everything else (other files, folders, web addresses) is
// left out and named, so that the page can say why it did not list it.
#pragma once

#include <QList>
#include <QStringList>
#include <QUrl>

namespace vornak {

class TapeDropFilter {
  public:
    struct Result {
        QStringList tapes;    // local paths to list, in the order dropped
        QStringList ignored;  // what was dropped but is not a tape, as the user would name it
    };

    // Extensions taken, compared without regard to case: cameras often write upper case.
    static constexpr const char* kExtensions[] = {"m2t", "ts", "mts", "m2ts"};

    static Result Sort(const QList<QUrl>& dropped);
};

}  // namespace vornak
