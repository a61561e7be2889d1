// CTabView: a pane that is a row of tabs over an area of pages. Each page is
// a widget made once when it is added and then only hidden and shown; the
// view remembers, per page, which of its widgets had the focus when the page
// was left, and gives it back when the page comes again. Panes derive from
// it and may refuse a page the user clicks on.
#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

class QTabBar;

namespace quillan::ui {

class CTabView : public QWidget {
public:
    explicit CTabView(QWidget* parent = nullptr);
    ~CTabView() override;

    // Adds a page under a tab; the view takes the widget. The first page is
    // shown, later ones stay hidden until selected. A page that could not
    // be made (null) is not added: the answer is -1 and the count stays.
    int addPage(const QString& caption, QWidget* page);

    int count() const { return static_cast<int>(m_pages.size()); }
    int currentIndex() const { return m_current; }
    // The page shown before the current one; -1 before any change.
    int previousIndex() const { return m_previous; }
    QWidget* page(int index) const;
    QTabBar* tabBar() const { return m_bar; }
    // The widget that had the focus when the page was last left.
    QWidget* rememberedFocus(int index) const;

    // The program's own selection: no rules apply. An index outside the
    // pages is refused (false); the current index is accepted unchanged.
    bool selectPage(int index);

protected:
    // A click (or key) of the user on another tab. Returning false refuses
    // it: the current page stays, and its tab stays selected.
    virtual bool acceptUserSelection(int index);
    // After the user's selection was made.
    virtual void userSelected(int index);
    // After every change of page, the user's or the program's.
    virtual void pageChanged(int index, int previous);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Page {
        QWidget* widget = nullptr;
        QPointer<QWidget> lastFocus;
    };

    void onTabBarChanged(int index);
    void switchTo(int index);
    void fitCurrentPage();

    QTabBar* m_bar;
    QWidget* m_area;
    std::vector<Page> m_pages;
    int m_current = -1;
    int m_previous = -1;
    bool m_switching = false;
};

}  // namespace quillan::ui
