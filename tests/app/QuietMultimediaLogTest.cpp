#include "QuietMultimediaLog.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace vornak {
namespace {

TEST(QuietMultimediaLog, KnowsQtMultimediasOwnReports) {
    struct Case {
        const char* category;
        const char* message;
        bool noise;
    };
    const Case cases[] = {
        {"default", "PulseAudioService: pa_context_connect() failed", true},
        {"qt.multimedia.pulseaudio.output", "anything", true},
        {"qt.multimediax", "a category of its own", false},
        {"default", "WARNING: No audio output was found: the preview plays without sound.", false},
        {nullptr, "no category at all", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsMultimediaNoise(c.category, QString::fromLatin1(c.message)), c.noise)
            << (c.category != nullptr ? c.category : "(none)") << ": " << c.message;
    }
}

Q_LOGGING_CATEGORY(lcPulse, "qt.multimedia.pulseaudio")

QStringList g_passed;

void Recording(QtMsgType, const QMessageLogContext&, const QString& message) {
    g_passed << message;
}

TEST(QuietMultimediaLog, DropsThemAndPassesTheRestOn) {
    const QtMessageHandler before = qInstallMessageHandler(Recording);
    QuietMultimediaLog();
    EXPECT_FALSE(lcPulse().isWarningEnabled());
    qWarning("PulseAudioService: pa_context_connect() failed");
    qWarning("the program's own warning");
    qCWarning(lcPulse) << "categorised";
    qInstallMessageHandler(before);
    QLoggingCategory::setFilterRules(QString());
    EXPECT_EQ(g_passed, QStringList{QStringLiteral("the program's own warning")});
}

}  // namespace
}  // namespace vornak
