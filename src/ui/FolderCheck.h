// The check a chosen folder passes before the chooser closes: the path must be valid, and a
// missing folder is created, with all its missing levels, when the user agrees.
#pragma once

#include <QString>

class QWidget;

namespace vornak {

enum FolderCheckResult {
    kFolderReady = 0,       // exists, or was created
    kFolderDeclined = -1,   // missing, and the user did not want it created
    kFolderInvalid = 1,     // the path is invalid (the user was told)
    kFolderNotCreated = 2,  // a level could not be created (the user was told)
};

// Asks and warns through MessageService, with `parent` as the boxes' owner.
FolderCheckResult CheckFolder(const QString& path, QWidget* parent);

}  // namespace vornak
