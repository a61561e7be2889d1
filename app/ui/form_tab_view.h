// CFormTabView: the right pane of the main window and the document's view,
// with the pages "Graphic" (the graph control) and "Edit script" (the
// script editor control). It gives Graf its graph control.
#pragma once

#include "app/core/document.h"
#include "app/ui/tab_view.h"

namespace quillan::ui {

class CEditPage;
class CGraphPage;
class CLeftPane;
class CXparse1;

class CFormTabView : public CTabView, public DocumentView {
public:
    static constexpr int Graphic = 0, EditScript = 1;

    explicit CFormTabView(QWidget* parent = nullptr);

    // Creates both controls; false with the reason when one cannot be made.
    bool createControls(QString& error);
    // The left pane, which the rules switch.
    void setLeftPane(CLeftPane* left) { m_left = left; }

    CGraphPage* graphPage() const;
    CEditPage* editPage() const;
    const CXparse1* editor() const;

    // DocumentView
    const CVigraf1* graphControl() const override;

protected:
    bool acceptUserSelection(int index) override;
    void userSelected(int index) override;

private:
    CLeftPane* m_left = nullptr;
};

}  // namespace quillan::ui
