// The folder chooser: a folder tree with a path edit box (id 14148) above it. OK checks the
// path and offers to create missing folders, level by level, before the dialog closes.
#pragma once

#include <QString>

class QWidget;

namespace vornak {

class CPathDialog {
  public:
    // Each may be null/empty: no caption gives the default title, no initial path the current
    // directory, no owner the main window.
    CPathDialog(const QString& caption, const QString& instruction, const QString& initialPath,
                QWidget* owner);
    virtual ~CPathDialog() = default;

    // 1 when the user confirmed a path that passed the check, else -1.
    virtual int DoModal();
    QString GetPathName() const { return m_path; }

  protected:
    QString m_caption;
    QString m_instruction;
    QString m_initialPath;
    QWidget* m_pOwner;
    QString m_path;
    bool m_confirmed = false;
};

}  // namespace vornak
