// The scenes of the tape selected on the "Scenes splitting" page: one row per scene with its
// thumbnail, number, first recording date and time, duration, broken pictures and health (clean,
// or how many problems, with the report's lines as its tooltip), and a check box that says
// whether a split writes it (all checked at first).
//
// The listing and the thumbnails are made off the user-interface thread (TapeSceneLister);
// rows appear as the listing finds the scenes. Showing another tape cancels the listing under
// way; what a tape's listing found and which scenes were unchecked are kept for the next time
// it is shown. A bar along the view's bottom edge shows how far the listing has read.
//
// While a split uses the choices the view is locked: its check boxes cannot be changed, so that
// what it shows is what is written. User-interface thread only.
#pragma once

#include <QImage>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SceneSummary.h"
#include "TapeSceneLister.h"

namespace vornak {

class CSceneView : public QTreeWidget {
    Q_OBJECT

  public:
    static constexpr int kThumbnailWidth = 160;  // half a thumbnail: a row stays readable
    static constexpr int kThumbnailHeight = 90;
    static constexpr int kProgressMax = 1000;

    enum Column {
        kColumnScene,
        kColumnDate,
        kColumnDuration,
        kColumnBroken,
        kColumnHealth,
        kColumnCount
    };

    explicit CSceneView(QWidget* parent = nullptr);
    // Cancels a listing under way and waits for it.
    ~CSceneView() override;

    // Shows the scenes of `path` (empty: none), listing them if no complete listing is kept.
    void ShowTape(const std::string& path);
    const std::string& Tape() const { return m_path; }
    bool IsListing() const { return static_cast<bool>(m_lister); }

    // Locks or frees the check boxes of every tape's scenes.
    void SetLocked(bool locked);
    bool IsLocked() const { return m_bLocked; }

    // The bar of the listing under way; hidden when none runs.
    const QProgressBar* ListingBar() const { return m_listingBar; }

    // The scenes unchecked so far, by tape; tapes without any are left out.
    std::map<std::string, std::set<std::int32_t>> UncheckedScenes() const;

    // The kept listing of `path`: its scenes, and whether it was read to its end.
    std::vector<SceneSummary> ScenesOf(const std::string& path) const;
    bool IsComplete(const std::string& path) const;
    // The scenes of `path` whose thumbnail is in, or known to be impossible.
    std::size_t PicturesIn(const std::string& path) const;

  signals:
    // The listing under way has read this much of its tape, from 0 to kProgressMax.
    void ListingProgress(int position);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct TapeListing {
        std::vector<SceneSummary> scenes;
        std::map<std::int32_t, QImage> thumbnails;
        std::set<std::int32_t> noThumbnail;  // the scenes whose pictures could not be decoded
        std::set<std::int32_t> unchecked;
        bool complete = false;
    };

    void StartListing();
    void CancelListing();
    // From the lister's threads, through queued calls; `generation` tells a stale call.
    void OnScene(std::uint64_t generation, const SceneSummary& scene);
    void OnThumbnail(std::uint64_t generation, std::int32_t number, const QImage& image);
    void OnListed(std::uint64_t generation, bool complete, SplitResult result,
                  const std::string& failure);
    void OnProgressTimer();
    void OnItemChanged(QTreeWidgetItem* item, int column);

    void AddRow(const SceneSummary& scene);
    void SetThumbnail(QTreeWidgetItem* item, std::int32_t number);
    QTreeWidgetItem* RowOf(std::int32_t number) const;
    Qt::ItemFlags SceneFlags() const;
    void SetListingProgress(int position);
    void PlaceListingBar();

    std::map<std::string, TapeListing> m_tapes;
    std::string m_path;
    std::unique_ptr<TapeSceneLister> m_lister;
    std::uint64_t m_generation = 0;
    std::uint64_t m_tapeSize = 0;
    QTimer m_progressTimer;
    bool m_bFilling = false;  // rows are being set up: their check boxes are not the user's
    bool m_bLocked = false;
    QProgressBar* m_listingBar = nullptr;  // a child: owned by the view
};

}  // namespace vornak
