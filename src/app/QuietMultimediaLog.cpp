#include "QuietMultimediaLog.h"

#include <QLoggingCategory>
#include <QtGlobal>

#include <cstdio>
#include <cstring>

namespace vornak {

namespace {

constexpr const char* kMultimediaCategory = "qt.multimedia";
// The PulseAudio backend writes its failures to connect as plain warnings, without a category.
constexpr const char* kSoundServerPrefix = "PulseAudioService:";

QtMessageHandler g_previousHandler = nullptr;

void FilteringHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (IsMultimediaNoise(context.category, message)) {
        return;
    }
    if (g_previousHandler != nullptr) {
        g_previousHandler(type, context, message);
        return;
    }
    const QByteArray text = qFormatLogMessage(type, context, message).toLocal8Bit();
    std::fprintf(stderr, "%s\n", text.constData());
}

}  // namespace

bool IsMultimediaNoise(const char* category, const QString& message) {
    if (category != nullptr) {
        const std::size_t length = std::strlen(kMultimediaCategory);
        if (std::strncmp(category, kMultimediaCategory, length) == 0 &&
            (category[length] == '\0' || category[length] == '.')) {
            return true;
        }
    }
    return message.startsWith(QLatin1String(kSoundServerPrefix));
}

void QuietMultimediaLog() {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.multimedia*=false"));
    g_previousHandler = qInstallMessageHandler(FilteringHandler);
}

}  // namespace vornak
