// What the capture page's tests read off a page: its log, and the preview's renderer and the
// virtual camcorder its session runs.
#pragma once

#include <QPlainTextEdit>

#include <string>

#include "CVideoRenderer.h"
#include "CVornakCapture.h"
#include "VirtualCamcorderFilter.h"

namespace vornak::test {

inline std::string PageLog(CVornakCapture& page) {
    page.FlushLog();
    return qobject_cast<QPlainTextEdit*>(page.control(CPageWithLog::kIdLogBox))
        ->toPlainText()
        .toStdString();
}

inline CVideoRenderer* PageRenderer(CVornakCapture& page) {
    return static_cast<CVideoRenderer*>(page.Session().Renderer());
}

inline VirtualCamcorderFilter* PageCamcorder(CVornakCapture& page) {
    return static_cast<VirtualCamcorderFilter*>(page.Session().Camcorder());
}

}  // namespace vornak::test
