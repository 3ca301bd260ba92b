// The scene view's health cell: at a glance whether a checked scene is clean or how many
// problems it has, with what the report says of each as its tooltip. A scene that was not
// checked leaves the cell empty: no finding is not the same as clean.
#pragma once

#include <QColor>
#include <QString>
#include <QTreeWidgetItem>

#include "SceneSummary.h"

namespace vornak {

class SceneHealthCell {
  public:
    // A scene with more findings than this has the rest summed up in the tooltip's last line.
    static constexpr int kToolTipLines = 20;

    // "Clean", "1 problem", "3 problems", or empty for a scene that was not checked.
    static QString Text(const SceneSummary& scene);
    // The report's line for each finding, one a line.
    static QString ToolTip(const SceneSummary& scene);
    // Green for a clean scene, red for a damaged one; invalid (the view's own) otherwise.
    static QColor Colour(const SceneSummary& scene);

    // Fills `column` of `item` with the above.
    static void Fill(QTreeWidgetItem* item, int column, const SceneSummary& scene);
};

}  // namespace vornak
