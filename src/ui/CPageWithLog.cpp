#include "CPageWithLog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextOption>
#include <QVBoxLayout>

#include <utility>

#include "CPathDialog.h"
#include "LogText.h"

namespace vornak {

namespace {

constexpr int kIdOutputFolderField = 1012;
// Lines of the log box that fit without scrolling at the default font.
constexpr int kLogBoxVisibleLines = 7;

// The log keeps the engine's CR LF pairs; the box wants one line break for each.
QString ForTheBox(const std::string& text) {
    const std::string shown = LogTextToLf(text);
    return QString::fromLocal8Bit(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace

CPageWithLog::CPageWithLog(int templateId, QWidget* parent)
    : QWidget(parent), m_templateId(templateId) {}

CPageWithLog::~CPageWithLog() = default;

void CPageWithLog::AddLog(LogSeverity /*severity*/, const std::string& line) {
    std::lock_guard<std::mutex> lock(m_logLock);
    m_pendingLines.push_back(line);
}

void CPageWithLog::FlushLog() {
    std::deque<std::string> lines;
    {
        // Take the queue in one swap so that workers never wait while the box is redrawn.
        std::lock_guard<std::mutex> lock(m_logLock);
        lines.swap(m_pendingLines);
    }
    if (lines.empty()) {
        return;
    }

    bool logWasEmptied = m_logText.size() != m_shownLength;
    std::string added;
    for (const std::string& line : lines) {
        added += line;
        added += "\r\n";
    }
    m_logText += added;

    if (m_logBox == nullptr) {
        m_shownLength = m_logText.size();
        return;
    }
    // Setting the whole text for every line made long logs freeze the window; appending only
    // the new lines shows the same text at a cost that does not grow with the log.
    if (logWasEmptied) {
        m_logBox->setPlainText(ForTheBox(m_logText));
    } else {
        QTextCursor end(m_logBox->document());
        end.movePosition(QTextCursor::End);
        end.insertText(ForTheBox(added));
    }
    m_shownLength = m_logText.size();
    QScrollBar* scroll = m_logBox->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

QWidget* CPageWithLog::control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

void CPageWithLog::AddLogControls(QVBoxLayout* layout) {
    m_logBox = new QPlainTextEdit(this);
    m_logBox->setObjectName(QString::number(kIdLogBox));
    m_logBox->setReadOnly(true);
    m_logBox->setUndoRedoEnabled(false);
    // Long paths wrap rather than run off to the right; a wider window shows more of a line.
    m_logBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_logBox->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_logBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_logBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_logBox->setFocusPolicy(Qt::StrongFocus);
    m_logBox->setMinimumHeight(m_logBox->fontMetrics().lineSpacing() * kLogBoxVisibleLines);
    layout->addWidget(m_logBox, 1);

    m_exitButton = new QPushButton(tr("Exit"), this);
    m_exitButton->setObjectName(QString::number(kIdExit));
    m_exitButton->setDefault(true);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_exitButton);
    buttonRow->addStretch(1);
    layout->addLayout(buttonRow);
    connect(m_exitButton, &QPushButton::clicked, this, &CPageWithLog::exitRequested);
}

void CPageWithLog::OnOutputDirectory() {
    auto* field = qobject_cast<QLineEdit*>(control(kIdOutputFolderField));
    if (field == nullptr) {
        return;
    }
    // An empty field is still a given path (the chooser then selects nothing); only a null
    // path would make it start at the current directory.
    QString start = field->text();
    if (start.isNull()) {
        start = QLatin1String("");
    }
    QString chosen;
    if (ChooseFolder(start, chosen)) {
        field->setText(chosen);
    }
}

bool CPageWithLog::ChooseFolder(const QString& initial, QString& chosen) {
    if (m_folderChooser) {
        return m_folderChooser(initial, chosen);
    }
    CPathDialog dialog(QString(), QString(), initial, nullptr);
    if (dialog.DoModal() != 1) {
        return false;
    }
    chosen = dialog.GetPathName();
    return true;
}

}  // namespace vornak
