// The "Graphic" page of the right pane: the graph control, filling the page
// whatever its size, with the pointer's zoom, pan and data cursor
// (GraphNavigation) and a context menu.
#pragma once

#include "app/core/vigraf_wrapper.h"
#include "app/ui/graph_navigation.h"
#include "hosting/control_host.h"

#include <QWidget>

class QAction;
class QMenu;

namespace quillan::ui {

class CGraphPage : public QWidget {
public:
    explicit CGraphPage(QWidget* parent = nullptr);
    ~CGraphPage() override;

    // Creates the graph control; false with a reason when that fails.
    bool createControl(QString& error);
    // The wrapper, or null when the control could not be made.
    const CVigraf1* graph() const { return m_wrapper.control() ? &m_wrapper : nullptr; }
    qhost::ControlHost* host() const { return m_host; }
    // How many series the control holds; 0 without a control.
    long seriesCount() const;
    // Puts the graph on the clipboard as a picture (Ctrl+C on the page);
    // false when there is no graph to copy.
    bool copyPicture();

    // The commands of the context menu. SavePicture only asks: the main
    // window, which knows the document, answers it.
    enum Command { CopyPicture, SavePicture, ResetZoom, MouseZoom };
    QAction* command(Command id) const { return m_commands[id]; }
    // Zoom and pan with the wheel, the middle button, Space and Home: on
    // unless the user turned it off (kept in the registry value
    // kMouseZoomValue, "0" for off); MouseZoom is its checkable command.
    static constexpr char kMouseZoomValue[] = "Graph Mouse Zoom";
    GraphNavigation& navigation() { return m_navigation; }
    // The menu the right button opens, built afresh each time.
    QMenu* contextMenu();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The data cursor's text in the main window's status bar.
    void showStatus(const QString& text);

    qhost::ControlHost* m_host;
    CVigraf1 m_wrapper;
    GraphNavigation m_navigation;
    QAction* m_commands[4] = {};
    QMenu* m_menu = nullptr;
};

}  // namespace quillan::ui
