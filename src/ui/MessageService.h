// Message boxes go through one replaceable service, so that tests never block on a box.
#pragma once

#include <QString>

class QWidget;

namespace vornak {

// The program's name, the caption of boxes that have none of their own.
inline constexpr char kProgramName[] = "Vornak";

class MessageService {
  public:
    virtual ~MessageService() = default;
    // An empty caption stands for kProgramName.
    // A box with an OK button; blocks until closed (the test double records and returns). The
    // kind of box sets its icon: information, warning or error.
    virtual void Information(QWidget* parent, const QString& caption, const QString& text) = 0;
    virtual void Warning(QWidget* parent, const QString& caption, const QString& text) = 0;
    virtual void Error(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A box with Yes and No; true for Yes.
    virtual bool Question(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A box that asks before something that cannot be undone, with the buttons `accept` and
    // "Cancel" (the default, also taken by Escape); true for `accept`.
    virtual bool Confirm(QWidget* parent, const QString& caption, const QString& text,
                         const QString& accept) = 0;

    // The service in use; a QMessageBox-based one unless a test installed another.
    static MessageService& Instance();
    // Installs `service` (not owned) and returns the previous one; null restores the default.
    static MessageService* Install(MessageService* service);
};

}  // namespace vornak
