// What a file manager drops onto the scenes page's list: files that hold a transport stream or
// DV are taken whatever they are called, in the order dropped; other files, folders and web
// addresses are set aside by name. And the page itself: a drop onto its list adds the tapes and
// logs the rest.
#include "TapeDropFilter.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <filesystem>

#include "CVornakScenes.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak {
namespace {

QUrl Local(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

constexpr std::size_t kPacketSize = 188;
constexpr std::uint8_t kSyncByte = 0x47;

// Enough packets in a row for a transport stream to be told.
std::vector<std::uint8_t> TransportPackets() {
    std::vector<std::uint8_t> bytes(8 * kPacketSize, 0xFF);
    for (std::size_t at = 0; at < bytes.size(); at += kPacketSize) {
        bytes[at] = kSyncByte;
    }
    return bytes;
}

// Tape files under names that say nothing, or the wrong thing, about what they hold.
struct Files {
    test::TempDir dir;
    std::string stream = dir.File("stream.bin");
    std::string dvFrames = dir.File("camera.BIN");
    std::string dvNamed = dir.File("tape.DV");
    std::string notes = dir.File("notes.txt");
    std::string fakeStream = dir.File("fake.m2t");
    std::string fakeDv = dir.File("fake.dv");
    std::string empty = dir.File("empty.mts");
    std::string folder = dir.File("folder.m2t");
    std::string missing = dir.File("missing.m2t");

    Files() {
        test::WriteAll(stream, TransportPackets());
        const dv::test::Bytes frame = dv::test::MakeFrame();
        dv::test::Bytes twoFrames = frame;
        twoFrames.insert(twoFrames.end(), frame.begin(), frame.end());
        test::WriteAll(dvFrames, twoFrames);
        test::WriteAll(dvNamed, frame);
        test::WriteText(notes, "Tape 3: summer 2007\n");
        test::WriteText(fakeStream, std::string(4 * kPacketSize, 'x'));
        test::WriteAll(fakeDv, std::vector<std::uint8_t>(frame.size(), 0));
        test::WriteText(empty, "");
        std::filesystem::create_directory(folder);
    }
};

QString Q(const std::string& path) {
    return QString::fromStdString(path);
}

std::string Lines(const QStringList& list) {
    return list.join(QLatin1Char('\n')).toStdString();
}

TEST(TapeDropFilter, TakesTapesByContentAndSetsTheRestAside) {
    const Files f;
    const QList<QUrl> dropped = {
        Local(f.notes),    Local(f.stream),
        Local(f.dvFrames), Local(f.fakeStream),
        Local(f.dvNamed),  Local(f.fakeDv),
        Local(f.empty),    Local(f.folder),
        Local(f.missing),  QUrl(QStringLiteral("https://example.org/g.m2t")),
    };
    const TapeDropFilter::Result sorted = TapeDropFilter::Sort(dropped);
    EXPECT_EQ(Lines(sorted.tapes), Lines({Q(f.stream), Q(f.dvFrames), Q(f.dvNamed)}));
    EXPECT_EQ(Lines(sorted.ignored),
              Lines({Q(f.notes), Q(f.fakeStream), Q(f.fakeDv), Q(f.empty), Q(f.folder),
                     Q(f.missing), "https://example.org/g.m2t"}));
}

TEST(CVornakScenes, TapesDroppedOnTheListAreAddedAndTheRestNamedInTheLog) {
    CVornakScenes page;
    page.show();
    auto* list = qobject_cast<QListWidget*>(page.control(CVornakScenes::kIdFileList));
    QWidget* target = list->viewport();

    QMimeData data;
    const Files f;
    data.setUrls({Local(f.stream), Local(f.notes), Local(f.dvFrames)});
    const QPoint where = target->rect().center();
    QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(where), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());

    EXPECT_EQ(page.Files(), (std::vector<std::string>{f.stream, f.dvFrames}));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), Q(f.dvFrames));
    EXPECT_TRUE(page.control(CVornakScenes::kIdStart)->isEnabled());
    EXPECT_EQ(page.LogText(),
              "INFO: Only MPEG-2 transport streams and DV files can be split; not added: " +
                  f.notes + "\r\n");

    // Nothing but other files: nothing is listed, and the log says why.
    page.AddDroppedFiles({Local(f.fakeStream)});
    EXPECT_EQ(page.Files().size(), 2u);
    EXPECT_NE(page.LogText().find("not added: " + f.fakeStream + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vornak
