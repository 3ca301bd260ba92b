#include "TapeDropFilter.h"

#include <QFileInfo>

namespace vornak {

namespace {

bool IsTape(const QUrl& url) {
    if (!url.isLocalFile()) {
        return false;
    }
    const QFileInfo file(url.toLocalFile());
    if (file.isDir()) {
        return false;
    }
    const QString suffix = file.suffix();
    for (const char* extension : TapeDropFilter::kExtensions) {
        if (suffix.compare(QLatin1String(extension), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

TapeDropFilter::Result TapeDropFilter::Sort(const QList<QUrl>& dropped) {
    Result result;
    for (const QUrl& url : dropped) {
        if (IsTape(url)) {
            result.tapes << url.toLocalFile();
        } else {
            result.ignored << (url.isLocalFile() ? url.toLocalFile() : url.toDisplayString());
        }
    }
    return result;
}

}  // namespace vornak
