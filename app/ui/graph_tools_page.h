// The "Graphics tools" page of the left pane: saving the graph as a picture
// and steering the graph's zoom box. Shown only while the graph is.
#pragma once

#include <QWidget>

class QPushButton;
class QSlider;

namespace quillan::ui {

class CGraphToolsPage : public QWidget {
public:
    explicit CGraphToolsPage(QWidget* parent = nullptr);

    QPushButton* savePicture() const { return m_savePicture; }
    QPushButton* flatZooming() const { return m_flatZooming; }

private:
    QPushButton* m_savePicture;
    QPushButton* m_flatZooming;
};

}  // namespace quillan::ui
