#include "CAboutDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "AppIcon.h"
#include "AppVersion.h"

namespace vornak {

namespace {

constexpr int kIdOk = 1;
constexpr int kIconSize = 32;

QLabel* PlainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    // No mnemonic or rich-text processing: the text is shown exactly as written.
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Vornak"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(MakeAppIcon().pixmap(kIconSize, kIconSize));
    icon->setAlignment(Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->addWidget(PlainLabel(
        QStringLiteral("Vornak Version %1").arg(QString::fromLatin1(kAppVersion)), this));
    texts->addWidget(PlainLabel(QStringLiteral("HDV tape capture and scene splitting"), this));
    texts->addStretch(1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QString::number(kIdOk));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon);
    layout->addSpacing(kIconSize / 2);
    layout->addLayout(texts, 1);
    layout->addSpacing(kIconSize);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace vornak
