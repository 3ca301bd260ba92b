#include "CSceneView.h"

#include <QHeaderView>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <utility>

#include "InputFile.h"
#include "SceneHealthCell.h"

namespace vornak {

namespace {

// Often enough that the bar moves smoothly over a tape read in a second or two.
constexpr int kProgressPeriodMs = 100;
constexpr int kSceneNumberRole = Qt::UserRole;
constexpr int kNoScene = -1;  // the number of a row that is a message, not a scene
constexpr const char* kNotRead = "This file can't be opened or read.";
constexpr const char* kReadFault =
    "This file can't be read to its end: its scenes after the fault are not shown.";

// The listing's bar: a thin strip along the bottom of the rows, inset from the edges.
constexpr int kBarHeight = 14;
constexpr int kBarMargin = 4;

constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;

QString DateText(const SceneSummary& scene) {
    if (!scene.firstDate) {
        return QObject::tr("no date");
    }
    const RecordingDate& d = *scene.firstDate;
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(d.year, 4, 10, QLatin1Char('0'))
        .arg(d.month, 2, 10, QLatin1Char('0'))
        .arg(d.day, 2, 10, QLatin1Char('0'))
        .arg(d.hour, 2, 10, QLatin1Char('0'))
        .arg(d.minute, 2, 10, QLatin1Char('0'))
        .arg(d.second, 2, 10, QLatin1Char('0'));
}

// "0:07", "12:30", "1:02:03".
QString DurationText(const SceneSummary& scene) {
    const long total = std::lround(std::max(0.0, scene.DurationSeconds()));
    const QString minutesAndSeconds = QStringLiteral("%1:%2")
                                          .arg(total % kSecondsPerHour / kSecondsPerMinute)
                                          .arg(total % kSecondsPerMinute, 2, 10, QLatin1Char('0'));
    if (total < kSecondsPerHour) {
        return minutesAndSeconds;
    }
    return QStringLiteral("%1:%2")
        .arg(total / kSecondsPerHour)
        .arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')));
}

// The stand-in for a thumbnail that could not be made, so that the rows keep one height.
QPixmap NoPicture(const QString& text) {
    QPixmap pixmap(CSceneView::kThumbnailWidth, CSceneView::kThumbnailHeight);
    pixmap.fill(QColor(64, 64, 64));
    QPainter painter(&pixmap);
    painter.setPen(QColor(200, 200, 200));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, text);
    return pixmap;
}

// A picture narrower than 16:9 (a 4:3 DV scene) keeps its shape in the middle of the room a
// thumbnail has, so that the numbers and dates of every row line up.
QImage Centred(const QImage& picture) {
    if (picture.width() >= CSceneView::kThumbnailWidth &&
        picture.height() >= CSceneView::kThumbnailHeight) {
        return picture;
    }
    QImage room(CSceneView::kThumbnailWidth, CSceneView::kThumbnailHeight,
                QImage::Format_ARGB32_Premultiplied);
    room.fill(Qt::transparent);
    QPainter painter(&room);
    painter.drawImage((room.width() - picture.width()) / 2, (room.height() - picture.height()) / 2,
                      picture);
    return room;
}

}  // namespace

CSceneView::CSceneView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(kColumnCount);
    setHeaderLabels({tr("Scene"), tr("First date and time"), tr("Duration"), tr("Broken pictures"),
                     tr("Health")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    // A click picks a whole scene, not one of its cells.
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setIconSize(QSize(kThumbnailWidth, kThumbnailHeight));
    // The date takes what room the window gives beyond what the other columns need.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(kColumnDate, QHeaderView::Stretch);

    m_listingBar = new QProgressBar(viewport());
    m_listingBar->setObjectName(QStringLiteral("listingProgress"));
    m_listingBar->setRange(0, kProgressMax);
    m_listingBar->setTextVisible(false);
    m_listingBar->hide();
    m_progressTimer.setInterval(kProgressPeriodMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &CSceneView::OnProgressTimer);
    connect(this, &QTreeWidget::itemChanged, this, &CSceneView::OnItemChanged);
}

CSceneView::~CSceneView() {
    CancelListing();
}

void CSceneView::ShowTape(const std::string& path) {
    if (path == m_path) {
        return;
    }
    CancelListing();
    m_path = path;
    m_bFilling = true;
    clear();
    m_bFilling = false;
    if (m_path.empty()) {
        return;
    }
    TapeListing& tape = m_tapes[m_path];
    if (tape.complete) {
        for (const SceneSummary& scene : tape.scenes) {
            AddRow(scene);
        }
        return;
    }
    // An unfinished listing starts again; the choices made so far stay.
    tape.scenes.clear();
    tape.thumbnails.clear();
    tape.noThumbnail.clear();
    StartListing();
}

void CSceneView::StartListing() {
    const std::uint64_t generation = ++m_generation;
    const std::int64_t size = InputFile::SizeOf(m_path);
    m_tapeSize = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    TapeSceneLister::Callbacks callbacks;
    callbacks.scene = [this, generation](const SceneSummary& scene) {
        QMetaObject::invokeMethod(
            this, [this, generation, scene] { OnScene(generation, scene); }, Qt::QueuedConnection);
    };
    callbacks.thumbnail = [this, generation](ThumbnailWorker::Result& result) {
        // Converted here, off the user-interface thread; an empty image means none.
        QImage image;
        if (result.status == SceneThumbnailer::Status::Made) {
            const RgbImage& rgb = result.image;
            image = Centred(QImage(rgb.pixels.data(), rgb.width, rgb.height, rgb.Stride(),
                                   QImage::Format_RGB888)
                                .scaled(kThumbnailWidth, kThumbnailHeight, Qt::KeepAspectRatio,
                                        Qt::SmoothTransformation));
        }
        const std::int32_t number = result.scene.number;
        QMetaObject::invokeMethod(
            this, [this, generation, number, image] { OnThumbnail(generation, number, image); },
            Qt::QueuedConnection);
    };
    callbacks.done = [this, generation](bool complete, SplitResult result,
                                        const std::string& failure) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, complete, result, failure] {
                OnListed(generation, complete, result, failure);
            },
            Qt::QueuedConnection);
    };
    m_lister = std::make_unique<TapeSceneLister>(m_path, std::move(callbacks));
    m_progressTimer.start();
    PlaceListingBar();
    m_listingBar->show();
    SetListingProgress(0);
}

void CSceneView::SetListingProgress(int position) {
    m_listingBar->setValue(position);
    emit ListingProgress(position);
}

void CSceneView::PlaceListingBar() {
    const QRect area = viewport()->rect();
    m_listingBar->setGeometry(area.left() + kBarMargin, area.bottom() + 1 - kBarMargin - kBarHeight,
                              std::max(area.width() - 2 * kBarMargin, 0), kBarHeight);
}

void CSceneView::resizeEvent(QResizeEvent* event) {
    QTreeWidget::resizeEvent(event);
    PlaceListingBar();
}

void CSceneView::CancelListing() {
    m_progressTimer.stop();
    m_listingBar->hide();
    if (m_lister) {
        m_lister->Cancel();
        m_lister.reset();
        ++m_generation;  // what it posted before it ended is stale now
    }
}

void CSceneView::OnScene(std::uint64_t generation, const SceneSummary& scene) {
    if (generation != m_generation) {
        return;
    }
    m_tapes[m_path].scenes.push_back(scene);
    AddRow(scene);
}

void CSceneView::OnThumbnail(std::uint64_t generation, std::int32_t number, const QImage& image) {
    if (generation != m_generation) {
        return;
    }
    TapeListing& tape = m_tapes[m_path];
    if (image.isNull()) {
        tape.noThumbnail.insert(number);
    } else {
        tape.thumbnails[number] = image;
    }
    if (QTreeWidgetItem* item = RowOf(number)) {
        SetThumbnail(item, number);
    }
}

void CSceneView::OnListed(std::uint64_t generation, bool complete, SplitResult result,
                          const std::string& failure) {
    if (generation != m_generation) {
        return;
    }
    m_tapes[m_path].complete = complete;
    m_progressTimer.stop();
    m_lister.reset();
    m_listingBar->hide();
    if (!complete) {
        // Only a failure gets here (a cancel's reports are stale): say so below what was found.
        m_bFilling = true;
        auto* item = new QTreeWidgetItem(this);
        item->setData(kColumnScene, kSceneNumberRole, kNoScene);
        item->setFlags(Qt::ItemIsEnabled);
        item->setFirstColumnSpanned(true);
        // A file that opens but holds no transport stream is told as vornak-split tells it.
        const QString text = topLevelItemCount() > 1 ? tr(kReadFault)
                             : result == SplitResult::NoStream && !failure.empty()
                                 ? QString::fromLocal8Bit(failure)
                                 : tr(kNotRead);
        item->setText(kColumnScene, text);
        m_bFilling = false;
    }
    SetListingProgress(complete ? kProgressMax : 0);
}

void CSceneView::OnProgressTimer() {
    if (!m_lister) {
        return;
    }
    const std::uint64_t done = m_lister->DoneBytes();
    const std::uint64_t position = m_tapeSize == 0 ? 0 : done * kProgressMax / m_tapeSize;
    SetListingProgress(static_cast<int>(std::min<std::uint64_t>(position, kProgressMax)));
}

void CSceneView::AddRow(const SceneSummary& scene) {
    const TapeListing& tape = m_tapes[m_path];
    m_bFilling = true;
    auto* item = new QTreeWidgetItem(this);
    item->setData(kColumnScene, kSceneNumberRole, scene.number);
    item->setText(kColumnScene, QString::number(scene.number));
    item->setFlags(SceneFlags());
    item->setCheckState(kColumnScene,
                        tape.unchecked.count(scene.number) > 0 ? Qt::Unchecked : Qt::Checked);
    item->setText(kColumnDate, DateText(scene));
    item->setText(kColumnDuration, DurationText(scene));
    item->setTextAlignment(kColumnDuration, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(kColumnBroken, QString::number(scene.brokenPictures));
    item->setTextAlignment(kColumnBroken, Qt::AlignRight | Qt::AlignVCenter);
    SceneHealthCell::Fill(item, kColumnHealth, scene);
    SetThumbnail(item, scene.number);
    m_bFilling = false;
}

void CSceneView::SetThumbnail(QTreeWidgetItem* item, std::int32_t number) {
    const TapeListing& tape = m_tapes[m_path];
    const bool filling = m_bFilling;
    m_bFilling = true;
    if (const auto found = tape.thumbnails.find(number); found != tape.thumbnails.end()) {
        item->setIcon(kColumnScene, QIcon(QPixmap::fromImage(found->second)));
        item->setToolTip(kColumnScene, QString());
    } else if (tape.noThumbnail.count(number) > 0) {
        item->setIcon(kColumnScene, QIcon(NoPicture(tr("no picture"))));
        item->setToolTip(kColumnScene, tr("The pictures of this scene cannot be decoded."));
    } else {
        item->setIcon(kColumnScene, QIcon(NoPicture(QString())));
    }
    m_bFilling = filling;
}

Qt::ItemFlags CSceneView::SceneFlags() const {
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return m_bLocked ? flags : flags | Qt::ItemIsUserCheckable;
}

void CSceneView::SetLocked(bool locked) {
    m_bLocked = locked;
    const bool filling = m_bFilling;
    m_bFilling = true;
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = topLevelItem(row);
        if (item->data(kColumnScene, kSceneNumberRole).toInt() != kNoScene) {
            item->setFlags(SceneFlags());
        }
    }
    m_bFilling = filling;
}

QTreeWidgetItem* CSceneView::RowOf(std::int32_t number) const {
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = topLevelItem(row);
        if (item->data(kColumnScene, kSceneNumberRole).toInt() == number) {
            return item;
        }
    }
    return nullptr;
}

void CSceneView::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (m_bFilling || column != kColumnScene || m_path.empty()) {
        return;
    }
    const std::int32_t number = item->data(kColumnScene, kSceneNumberRole).toInt();
    if (number == kNoScene) {
        return;
    }
    std::set<std::int32_t>& unchecked = m_tapes[m_path].unchecked;
    if (m_bLocked) {
        // A change that got past the locked box (from code or an accessibility tool) is undone:
        // the run goes by the choices it started with.
        m_bFilling = true;
        item->setCheckState(kColumnScene,
                            unchecked.count(number) > 0 ? Qt::Unchecked : Qt::Checked);
        m_bFilling = false;
        return;
    }
    if (item->checkState(kColumnScene) == Qt::Checked) {
        unchecked.erase(number);
    } else {
        unchecked.insert(number);
    }
}

std::map<std::string, std::set<std::int32_t>> CSceneView::UncheckedScenes() const {
    std::map<std::string, std::set<std::int32_t>> result;
    for (const auto& [path, tape] : m_tapes) {
        if (!tape.unchecked.empty()) {
            result[path] = tape.unchecked;
        }
    }
    return result;
}

std::vector<SceneSummary> CSceneView::ScenesOf(const std::string& path) const {
    const auto found = m_tapes.find(path);
    return found != m_tapes.end() ? found->second.scenes : std::vector<SceneSummary>{};
}

bool CSceneView::IsComplete(const std::string& path) const {
    const auto found = m_tapes.find(path);
    return found != m_tapes.end() && found->second.complete;
}

std::size_t CSceneView::PicturesIn(const std::string& path) const {
    const auto found = m_tapes.find(path);
    return found != m_tapes.end()
               ? found->second.thumbnails.size() + found->second.noThumbnail.size()
               : 0;
}

}  // namespace vornak
