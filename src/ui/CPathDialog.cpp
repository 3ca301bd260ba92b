#include "CPathDialog.h"

#include <QApplication>

#include "CPathDialogWindow.h"

namespace vornak {

CPathDialog::CPathDialog(const QString& caption, const QString& instruction,
                         const QString& initialPath, QWidget* owner)
    : m_caption(caption),
      m_instruction(instruction),
      m_initialPath(initialPath),
      m_pOwner(owner != nullptr ? owner : QApplication::activeWindow()) {}

int CPathDialog::DoModal() {
    m_confirmed = false;
    CPathDialogWindow window(m_caption, m_instruction, m_initialPath, m_pOwner);
    window.exec();
    m_path = window.Path();
    m_confirmed = window.Confirmed();
    return m_confirmed ? 1 : -1;
}

}  // namespace vornak
