// The window of the folder chooser: a path edit box (14148) above a tree of folders, OK and
// Cancel. OK runs the folder check and closes only when it passes.
#pragma once

#include <QDialog>
#include <QString>

class QFileSystemModel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace vornak {

class CPathDialogWindow : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kIdTree = 14145;
    static constexpr int kIdPathEdit = 14148;
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;

    // A null `initialPath` starts at the current directory; an empty one selects nothing.
    CPathDialogWindow(const QString& caption, const QString& instruction,
                      const QString& initialPath, QWidget* parent);

    QString Path() const { return m_path; }
    bool Confirmed() const { return m_confirmed; }

    QLineEdit* PathEdit() const { return m_edit; }
    QPushButton* OkButton() const { return m_ok; }
    QTreeView* Tree() const { return m_tree; }
    // Selects `path` in the tree, as a click on it would.
    void SelectFolder(const QString& path);

  private:
    void OnSelectionChanged(const QModelIndex& current);
    void OnPathEdited(const QString& text);
    void OnOk();

    QFileSystemModel* m_model = nullptr;
    QTreeView* m_tree = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_ok = nullptr;
    QString m_path;
    bool m_confirmed = false;
};

}  // namespace vornak
