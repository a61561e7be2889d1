#include "app/ui/tab_view.h"

#include <QApplication>
#include <QEvent>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>

namespace quillan::ui {

CTabView::CTabView(QWidget* parent) : QWidget(parent), m_bar(new QTabBar(this)), m_area(new QWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_bar->setDrawBase(true);
    m_bar->setExpanding(false);
    // Every tab stays in sight: the pane is at least as wide as its tabs.
    m_bar->setUsesScrollButtons(false);
    layout->addWidget(m_bar);
    layout->addWidget(m_area, 1);
    m_area->installEventFilter(this);
    connect(m_bar, &QTabBar::currentChanged, this, [this](int index) { onTabBarChanged(index); });
}

CTabView::~CTabView() = default;

int CTabView::addPage(const QString& caption, QWidget* page) {
    if (!page) return -1;
    const int index = count();
    page->setParent(m_area);
    page->hide();
    m_pages.push_back(Page{page, {}});
    {
        const QSignalBlocker block(m_bar);
        m_bar->addTab(caption);
        m_bar->setCurrentIndex(m_current < 0 ? 0 : m_current);
    }
    if (m_current < 0) {
        m_current = 0;
        fitCurrentPage();
        page->show();
    }
    return index;
}

QWidget* CTabView::page(int index) const {
    return index >= 0 && index < count() ? m_pages[static_cast<std::size_t>(index)].widget : nullptr;
}

QWidget* CTabView::rememberedFocus(int index) const {
    return index >= 0 && index < count() ? m_pages[static_cast<std::size_t>(index)].lastFocus.data() : nullptr;
}

bool CTabView::selectPage(int index) {
    if (index < 0 || index >= count()) return false;
    if (index == m_current) return true;
    switchTo(index);
    return true;
}

bool CTabView::acceptUserSelection(int) { return true; }
void CTabView::userSelected(int) {}
void CTabView::pageChanged(int, int) {}

void CTabView::onTabBarChanged(int index) {
    if (m_switching || index == m_current || index < 0 || index >= count()) return;
    // The tab goes back to the shown page while the pane decides, so that a
    // refusal (and its message) never shows the refused tab as selected.
    {
        const QSignalBlocker block(m_bar);
        m_bar->setCurrentIndex(m_current);
    }
    if (!acceptUserSelection(index)) return;
    switchTo(index);
    userSelected(index);
}

void CTabView::switchTo(int index) {
    m_switching = true;
    if (QWidget* old = page(m_current)) {
        Page& leaving = m_pages[static_cast<std::size_t>(m_current)];
        QWidget* focus = QApplication::focusWidget();
        if (focus && old->isAncestorOf(focus)) leaving.lastFocus = focus;
        else if (QWidget* last = old->focusWidget(); last && old->isAncestorOf(last)) leaving.lastFocus = last;
        old->hide();
    }
    m_previous = m_current;
    m_current = index;
    {
        const QSignalBlocker block(m_bar);
        m_bar->setCurrentIndex(index);
    }
    Page& coming = m_pages[static_cast<std::size_t>(index)];
    fitCurrentPage();
    coming.widget->show();
    if (coming.lastFocus && coming.lastFocus->isVisible()) coming.lastFocus->setFocus(Qt::OtherFocusReason);
    m_switching = false;
    pageChanged(index, m_previous);
}

void CTabView::fitCurrentPage() {
    if (QWidget* current = page(m_current)) current->setGeometry(m_area->rect());
}

bool CTabView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_area && event->type() == QEvent::Resize) fitCurrentPage();
    return QWidget::eventFilter(watched, event);
}

}  // namespace quillan::ui
