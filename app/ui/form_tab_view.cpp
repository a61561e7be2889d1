#include "app/ui/form_tab_view.h"

#include "app/ui/edit_page.h"
#include "app/ui/graph_page.h"
#include "app/ui/left_pane.h"
#include "app/ui/message_box.h"

namespace quillan::ui {

CFormTabView::CFormTabView(QWidget* parent) : CTabView(parent) {
    setObjectName(QStringLiteral("formView"));
    addPage(QStringLiteral("Graphic"), new CGraphPage);
    addPage(QStringLiteral("Edit script"), new CEditPage);
}

bool CFormTabView::createControls(QString& error) {
    return graphPage()->createControl(error) && editPage()->createControl(error);
}

CGraphPage* CFormTabView::graphPage() const { return static_cast<CGraphPage*>(page(Graphic)); }
CEditPage* CFormTabView::editPage() const { return static_cast<CEditPage*>(page(EditScript)); }
const CXparse1* CFormTabView::editor() const { return editPage()->editor(); }

const CVigraf1* CFormTabView::graphControl() const { return graphPage()->graph(); }

bool CFormTabView::acceptUserSelection(int index) {
    // An empty graph is not worth a page: the editor stays.
    if (index == Graphic && graphPage()->seriesCount() == 0) {
        tell(window(), QStringLiteral("Graphical data don't exist!"), QMessageBox::Warning);
        return false;
    }
    return true;
}

void CFormTabView::userSelected(int index) {
    // Leaving the graph takes the graph tools with it.
    if (index == EditScript && m_left && m_left->currentIndex() == CLeftPane::GraphicsTools)
        m_left->selectPage(CLeftPane::ScriptFunctions);
}

}  // namespace quillan::ui
