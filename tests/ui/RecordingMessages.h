// A message service for tests: records every box and answers questions from a script, so that
// no test waits on a real box. Installed for its own lifetime.
#pragma once

#include <QString>

#include <deque>
#include <vector>

#include "MessageService.h"

namespace vornak::test {

class RecordingMessages : public MessageService {
  public:
    enum class Kind { kInformation, kWarning, kError, kQuestion };
    struct Box {
        Kind kind;
        QString caption;
        QString text;
        QString accept;  // a confirmation's accepting button; empty for other boxes
    };

    RecordingMessages() : m_previous(Install(this)) {}
    ~RecordingMessages() override { Install(m_previous); }
    RecordingMessages(const RecordingMessages&) = delete;
    RecordingMessages& operator=(const RecordingMessages&) = delete;

    void Information(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({Kind::kInformation, caption, text, QString()});
    }
    void Warning(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({Kind::kWarning, caption, text, QString()});
    }
    void Error(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({Kind::kError, caption, text, QString()});
    }
    bool Question(QWidget*, const QString& caption, const QString& text) override {
        boxes.push_back({Kind::kQuestion, caption, text, QString()});
        return NextAnswer();
    }
    bool Confirm(QWidget*, const QString& caption, const QString& text,
                 const QString& accept) override {
        boxes.push_back({Kind::kQuestion, caption, text, accept});
        return NextAnswer();
    }

    std::vector<Box> boxes;
    // Answers to the next questions, in order; "No" (or "Cancel") once they run out.
    std::deque<bool> answers;

  private:
    bool NextAnswer() {
        if (answers.empty()) {
            return false;
        }
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    MessageService* m_previous;
};

}  // namespace vornak::test
