// The about box: the program's icon, its version and one more line, and OK.
#pragma once

#include <QDialog>

namespace vornak {

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace vornak
