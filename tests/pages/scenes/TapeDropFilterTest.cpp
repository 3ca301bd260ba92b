// What a file manager drops onto the scenes page's list: tapes by their extension, in any case,
// are taken in the order dropped; other files, folders and web addresses are set aside by name.
// And the page itself: a drop onto its list adds the tapes and logs the rest.
#include "TapeDropFilter.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <filesystem>

#include "CVornakScenes.h"
#include "TestSupport.h"

namespace vornak {
namespace {

QUrl Local(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

TEST(TapeDropFilter, TakesTapesByExtensionAndSetsTheRestAside) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.File("folder.m2t"));
    const QList<QUrl> dropped = {
        Local("/v/a.m2t"),
        Local("/v/b.TS"),
        Local("/v/c.mts"),
        Local("/v/d.M2TS"),
        Local("/v/e.mp4"),
        Local("/v/noextension"),
        Local("/v/f.m2t.bak"),
        Local(dir.File("folder.m2t")),
        QUrl(QStringLiteral("https://example.org/g.m2t")),
    };
    const TapeDropFilter::Result sorted = TapeDropFilter::Sort(dropped);
    EXPECT_EQ(sorted.tapes, (QStringList{"/v/a.m2t", "/v/b.TS", "/v/c.mts", "/v/d.M2TS"}));
    EXPECT_EQ(sorted.ignored, (QStringList{"/v/e.mp4", "/v/noextension", "/v/f.m2t.bak",
                                           QString::fromStdString(dir.File("folder.m2t")),
                                           "https://example.org/g.m2t"}));
}

TEST(CVornakScenes, TapesDroppedOnTheListAreAddedAndTheRestNamedInTheLog) {
    CVornakScenes page;
    page.show();
    auto* list = qobject_cast<QListWidget*>(page.control(CVornakScenes::kIdFileList));
    QWidget* target = list->viewport();

    QMimeData data;
    data.setUrls({Local("/v/tape.m2t"), Local("/v/notes.txt"), Local("/v/clip.MTS")});
    const QPoint where = target->rect().center();
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(where), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());

    EXPECT_EQ(page.Files(), (std::vector<std::string>{"/v/tape.m2t", "/v/clip.MTS"}));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "/v/clip.MTS");
    EXPECT_TRUE(page.control(CVornakScenes::kIdStart)->isEnabled());
    EXPECT_EQ(page.LogText(),
              "INFO: Only .m2t, .ts, .mts and .m2ts files can be split; not added: "
              "/v/notes.txt\r\n");

    // Nothing but other files: nothing is listed, and the log says why.
    page.AddDroppedFiles({Local("/v/photo.jpg")});
    EXPECT_EQ(page.Files().size(), 2u);
    EXPECT_NE(page.LogText().find("not added: /v/photo.jpg\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vornak
