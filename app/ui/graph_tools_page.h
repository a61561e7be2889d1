// The "Graphics tools" page of the left pane: saving the graph as a picture
// and steering the graph's zoom box ("Flat zooming", the box's size and
// position, the magnification). Every action goes through the document's
// Graf to the graph control. Shown only while the graph is.
#pragma once

#include <QRectF>
#include <QWidget>

#include <array>

class QGroupBox;
class QLabel;
class QSlider;
class QToolButton;

namespace quillan {
class CQuillanDoc;
}

namespace quillan::ui {

class CGraphToolsPage : public QWidget {
public:
    // Control numbers: the two buttons, the trackbars, their labels and groups.
    static constexpr int SavePicture = 700, FlatZooming = 701;
    static constexpr int HorizontalSize = 900, VerticalSize = 901, XPosition = 902, YPosition = 903,
                         ZoomingScale = 904;

    explicit CGraphToolsPage(CQuillanDoc& document, QWidget* parent = nullptr);

    QToolButton* savePicture() const { return m_savePicture; }
    QToolButton* flatZooming() const { return m_flatZooming; }
    // The trackbar of that number (900 to 904).
    QSlider* trackbar(int id) const { return m_trackbars[static_cast<std::size_t>(id - HorizontalSize)]; }
    // The controls enabled only with Flat zooming: trackbars, labels, groups.
    QList<QWidget*> zoomControls() const;

    // The zoom box as the page last set it.
    int boxWidth() const { return m_boxWidth; }
    int boxHeight() const { return m_boxHeight; }
    int boxX() const { return m_boxX; }
    int boxY() const { return m_boxY; }
    // The magnifier box the magnification trackbar last asked for.
    QRectF magnifierBox() const { return m_magnifier; }

    // Asks for a file and saves the graph there (the "Save picture" button).
    void savePictureDialog();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setFlatZooming(bool on);
    void trackbarMoved(int id, int position);

    CQuillanDoc& m_document;
    QToolButton* m_savePicture;
    QToolButton* m_flatZooming;
    std::array<QSlider*, 5> m_trackbars{};
    QList<QWidget*> m_zoomControls;
    int m_dragging = -1;  // the trackbar being dragged with the left button
    int m_boxWidth = 100, m_boxHeight = 100, m_boxX = 0, m_boxY = 0;
    QRectF m_magnifier;
};

}  // namespace quillan::ui
