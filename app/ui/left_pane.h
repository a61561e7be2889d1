// CLeftPane: the left pane of the main window, with the pages "Graphics
// tools", "Script functions" and "Assistant". The graph tools are only
// offered while the right pane shows the graph.
#pragma once

#include "app/ui/tab_view.h"

namespace quillan {
class CQuillanDoc;
}

namespace quillan::ui {

class CAssistantPage;
class CFormTabView;
class CGraphToolsPage;
class CScriptPage;

class CLeftPane : public CTabView {
public:
    static constexpr int GraphicsTools = 0, ScriptFunctions = 1, Assistant = 2;

    explicit CLeftPane(CQuillanDoc& document, QWidget* parent = nullptr);

    // The right pane, whose page the rules look at.
    void setFormView(CFormTabView* form) { m_form = form; }

    CGraphToolsPage* graphToolsPage() const;
    CScriptPage* scriptPage() const;
    CAssistantPage* assistantPage() const;

    // Refreshes the script lists, while "Script functions" is shown.
    void refreshLists();

protected:
    bool acceptUserSelection(int index) override;
    void pageChanged(int index, int previous) override;

private:
    CFormTabView* m_form = nullptr;
};

}  // namespace quillan::ui
