#include "TapeDropFilter.h"

#include <QFileInfo>

#include "StreamFormatProbe.h"

namespace vornak {

namespace {

// By content, never by name: cameras and other programs name tapes every way, and a file
// called .m2t may hold anything.
bool IsTape(const QUrl& url) {
    if (!url.isLocalFile()) {
        return false;
    }
    const QFileInfo file(url.toLocalFile());
    if (file.isDir()) {
        return false;
    }
    const dv::StreamFormatVerdict verdict =
        dv::StreamFormatProbe::ProbeFile(url.toLocalFile().toLocal8Bit().toStdString());
    return verdict.format != dv::StreamFormat::kNeither;
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
