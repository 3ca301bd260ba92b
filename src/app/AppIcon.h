// The program's icon, a tape cassette, drawn at the sizes window systems ask for.
#pragma once

#include <QIcon>

namespace vornak {

QIcon MakeAppIcon();

}  // namespace vornak
