// Sorts what a file manager drops onto the scenes page's list: local files that hold an MPEG-2
// transport stream or DV (raw, in AVI or in QuickTime) are taken, whatever they are called;
// everything else (other files, folders, web addresses) is left out and named, so that the page
// can say why it did not list it.
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

    // Reads the start of every local file dropped to tell what it holds.
    static Result Sort(const QList<QUrl>& dropped);
};

}  // namespace vornak
