// The "Graphic" page of the right pane: the graph control, filling the page
// whatever its size.
#pragma once

#include "app/core/vigraf_wrapper.h"
#include "hosting/control_host.h"

#include <QWidget>

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

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    qhost::ControlHost* m_host;
    CVigraf1 m_wrapper;
};

}  // namespace quillan::ui
