#include "CPathDialogWindow.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "FolderCheck.h"

namespace vornak {

namespace {

constexpr char kDefaultTitle[] = "Browse For Folder";
constexpr char kRoot[] = "/";
// The tree shows folder names only; size, type and date columns stay hidden.
constexpr int kNameColumn = 0;
constexpr int kTreeWidth = 360;
constexpr int kTreeHeight = 320;

}  // namespace

CPathDialogWindow::CPathDialogWindow(const QString& caption, const QString& instruction,
                                     const QString& initialPath, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption.isEmpty() ? QString::fromLatin1(kDefaultTitle) : caption);

    auto* layout = new QVBoxLayout(this);
    if (!instruction.isEmpty()) {
        auto* label = new QLabel(instruction, this);
        label->setWordWrap(true);
        layout->addWidget(label);
    }

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QString::number(kIdPathEdit));
    layout->addWidget(m_edit);

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QString::fromLatin1(kRoot));
    m_tree = new QTreeView(this);
    m_tree->setObjectName(QString::number(kIdTree));
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    for (int column = kNameColumn + 1; column < m_model->columnCount(); ++column) {
        m_tree->hideColumn(column);
    }
    m_tree->setMinimumSize(kTreeWidth, kTreeHeight);
    layout->addWidget(m_tree, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QString::number(kIdOk));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QString::number(kIdCancel));
    layout->addWidget(buttons);

    // OK runs the check itself; the button box's own accepting is not used for it.
    connect(m_ok, &QPushButton::clicked, this, &CPathDialogWindow::OnOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_edit, &QLineEdit::textChanged, this, &CPathDialogWindow::OnPathEdited);
    connect(
        m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& current, const QModelIndex&) { OnSelectionChanged(current); });

    // Folders are read in the background; keep the selection in view as they arrive.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this] {
        if (m_tree->currentIndex().isValid()) {
            m_tree->scrollTo(m_tree->currentIndex());
        }
    });

    m_ok->setEnabled(false);
    if (initialPath.isNull()) {
        SelectFolder(QDir::currentPath());
    } else if (!initialPath.isEmpty()) {
        SelectFolder(initialPath);
    }
    if (!m_tree->currentIndex().isValid()) {
        // Nothing selected: at least show what lies under the root.
        m_tree->expand(m_model->index(QString::fromLatin1(kRoot)));
    }
    m_edit->setFocus();
}

void CPathDialogWindow::SelectFolder(const QString& path) {
    QModelIndex index = m_model->index(path);
    if (!index.isValid()) {
        return;
    }
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index);
    m_tree->expand(index);
}

void CPathDialogWindow::OnSelectionChanged(const QModelIndex& current) {
    QString path = current.isValid() ? m_model->filePath(current) : QString();
    // Only absolute folders can be confirmed; anything else empties the box.
    if (!path.startsWith(QLatin1Char('/'))) {
        path.clear();
    }
    m_edit->setText(path);
    m_ok->setEnabled(!path.isEmpty());
}

void CPathDialogWindow::OnPathEdited(const QString& text) {
    m_path = text;
    m_ok->setEnabled(!text.isEmpty());
}

void CPathDialogWindow::OnOk() {
    m_path = m_edit->text();
    if (CheckFolder(m_path, this) != kFolderReady) {
        m_edit->setFocus();
        return;
    }
    m_confirmed = true;
    accept();
}

}  // namespace vornak
