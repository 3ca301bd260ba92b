#include "FolderCheck.h"

#include <string>

#include "MessageService.h"
#include "PathCheck.h"

namespace vornak {

namespace {

QString Invalid(const QString& path) {
    return QStringLiteral("The folder:\n\n%1\n\nis invalid. Please reenter.").arg(path);
}

}  // namespace

FolderCheckResult CheckFolder(const QString& path, QWidget* parent) {
    const std::string bytes = path.toLocal8Bit().toStdString();
    MessageService& boxes = MessageService::Instance();

    if (WalkPath(bytes, false) == kPathInvalid) {
        boxes.Warning(parent, QString(), Invalid(path));
        return kFolderInvalid;
    }
    if (PathExists(bytes)) {
        return kFolderReady;
    }
    if (!boxes.Question(
            parent, QString(),
            QStringLiteral(
                "The folder:\n\n%1\n\ndoes not exist. Do you want the folder to be created?")
                .arg(path))) {
        return kFolderDeclined;
    }
    switch (WalkPath(bytes, true)) {
        case kPathValid:
            return kFolderReady;
        case kPathInvalid:
            boxes.Warning(parent, QString(), Invalid(path));
            return kFolderInvalid;
        case kPathNotCreated:
            break;
    }
    boxes.Warning(
        parent, QString(),
        QStringLiteral("The folder:\n\n%1\n\ncan not be created. Please double check.").arg(path));
    return kFolderNotCreated;
}

}  // namespace vornak
