#include "MessageService.h"

#include <QMessageBox>
#include <QPushButton>

#include "LogText.h"

namespace vornak {

namespace {

QString CaptionOrName(const QString& caption) {
    return caption.isEmpty() ? QString::fromLatin1(kProgramName) : caption;
}

class BoxMessageService : public MessageService {
  public:
    void Information(QWidget* parent, const QString& caption, const QString& text) override {
        QMessageBox::information(parent, CaptionOrName(caption), ShownText(text));
    }
    void Warning(QWidget* parent, const QString& caption, const QString& text) override {
        QMessageBox::warning(parent, CaptionOrName(caption), ShownText(text));
    }
    void Error(QWidget* parent, const QString& caption, const QString& text) override {
        QMessageBox::critical(parent, CaptionOrName(caption), ShownText(text));
    }
    bool Question(QWidget* parent, const QString& caption, const QString& text) override {
        return QMessageBox::question(parent, CaptionOrName(caption), ShownText(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }

    bool Confirm(QWidget* parent, const QString& caption, const QString& text,
                 const QString& accept) override {
        QMessageBox box(QMessageBox::Warning, CaptionOrName(caption), ShownText(text),
                        QMessageBox::NoButton, parent);
        QPushButton* yes = box.addButton(accept, QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
        // Work that cannot be repeated goes on unless the user plainly says otherwise.
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        return box.clickedButton() == yes;
    }

  private:
    // Texts carry CR LF pairs; a box shows each as one line break.
    static QString ShownText(const QString& text) {
        return QString::fromStdString(LogTextToLf(text.toStdString()));
    }
};

BoxMessageService& DefaultService() {
    static BoxMessageService service;
    return service;
}

MessageService* g_installed = nullptr;

}  // namespace

MessageService& MessageService::Instance() {
    return g_installed != nullptr ? *g_installed : DefaultService();
}

MessageService* MessageService::Install(MessageService* service) {
    MessageService* previous = g_installed != nullptr ? g_installed : &DefaultService();
    g_installed = service;
    return previous;
}

}  // namespace vornak
