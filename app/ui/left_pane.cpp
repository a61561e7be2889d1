#include "app/ui/left_pane.h"

#include "app/ui/assistant_page.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_tools_page.h"
#include "app/ui/message_box.h"
#include "app/ui/script_page.h"

namespace quillan::ui {

CLeftPane::CLeftPane(CQuillanDoc& document, QWidget* parent) : CTabView(parent) {
    setObjectName(QStringLiteral("leftPane"));
    addPage(QStringLiteral("Graphics tools"), new CGraphToolsPage(document));
    addPage(QStringLiteral("Script functions"), new CScriptPage(document));
    addPage(QStringLiteral("Assistant"), new CAssistantPage);
}

CGraphToolsPage* CLeftPane::graphToolsPage() const { return static_cast<CGraphToolsPage*>(page(GraphicsTools)); }
CScriptPage* CLeftPane::scriptPage() const { return static_cast<CScriptPage*>(page(ScriptFunctions)); }
CAssistantPage* CLeftPane::assistantPage() const { return static_cast<CAssistantPage*>(page(Assistant)); }

void CLeftPane::refreshLists() {
    if (currentIndex() == ScriptFunctions) scriptPage()->refresh();
}

bool CLeftPane::acceptUserSelection(int index) {
    // The graph tools act on the graph: never without it on the right.
    if (index == GraphicsTools && (!m_form || m_form->currentIndex() != CFormTabView::Graphic)) {
        tell(window(), QStringLiteral("Graphic don't exist!"), QMessageBox::Warning);
        return false;
    }
    return true;
}

void CLeftPane::pageChanged(int, int) { refreshLists(); }

}  // namespace quillan::ui
