#include "SceneHealthCell.h"

#include <QBrush>
#include <QCoreApplication>
#include <QStringList>

namespace vornak {

namespace {

const QColor kClean(46, 125, 50);
const QColor kDamaged(198, 40, 40);

QString Tr(const char* text) {
    return QCoreApplication::translate("SceneHealthCell", text);
}

}  // namespace

QString SceneHealthCell::Text(const SceneSummary& scene) {
    if (!scene.healthChecked) {
        return QString();
    }
    if (scene.findings.empty()) {
        return Tr("Clean");
    }
    const auto problems = static_cast<int>(scene.findings.size());
    return problems == 1 ? Tr("1 problem") : Tr("%1 problems").arg(problems);
}

QString SceneHealthCell::ToolTip(const SceneSummary& scene) {
    if (!scene.healthChecked) {
        return QString();
    }
    if (scene.findings.empty()) {
        return Tr("No damage found in this scene.");
    }
    QStringList lines;
    for (const HealthFinding& finding : scene.findings) {
        if (lines.size() == kToolTipLines) {
            lines.append(Tr("and %1 more").arg(scene.findings.size() - kToolTipLines));
            break;
        }
        lines.append(QString::fromStdString(DescribeFinding(finding)));
    }
    return lines.join(QLatin1Char('\n'));
}

QColor SceneHealthCell::Colour(const SceneSummary& scene) {
    if (!scene.healthChecked) {
        return QColor();
    }
    return scene.findings.empty() ? kClean : kDamaged;
}

void SceneHealthCell::Fill(QTreeWidgetItem* item, int column, const SceneSummary& scene) {
    item->setText(column, Text(scene));
    item->setToolTip(column, ToolTip(scene));
    const QColor colour = Colour(scene);
    item->setForeground(column, colour.isValid() ? QBrush(colour) : QBrush());
}

}  // namespace vornak
