#include "app/ui/graph_page.h"

#include "app/ui/hosted_control.h"
#include "app/ui/toolbar_layout.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QResizeEvent>
#include <QShortcut>
#include <QStatusTipEvent>

namespace quillan::ui {

CGraphPage::CGraphPage(QWidget* parent)
    : QWidget(parent), m_host(new qhost::ControlHost(this)), m_navigation(this) {
    m_host->setObjectName(QStringLiteral("graph"));
    // Ctrl+C while the graph has the keyboard: the graph as a picture.
    auto* copy = new QShortcut(QKeySequence::Copy, this, this, &CGraphPage::copyPicture);
    copy->setContext(Qt::WidgetWithChildrenShortcut);

    struct Item {
        const char* name;
        const char* text;
        const char* tip;
    };
    static const Item items[] = {
        {"copyPicture", "&Copy Picture", "Put the graph on the clipboard as a picture"},
        {"savePicture", "&Save Picture...", "Save the graph as a JPEG, PNG, SVG or PDF file"},
        {"resetZoom", "&Reset Zoom", "Show the graph's box as the script set it"},
        {"mouseZoom", "&Zoom and Pan with the Mouse", "Zoom the graph with the wheel and drag it with the middle button"},
    };
    for (int i = 0; i < 4; ++i) {
        m_commands[i] = new QAction(QString::fromLatin1(items[i].text), this);
        m_commands[i]->setObjectName(QString::fromLatin1(items[i].name));
        m_commands[i]->setStatusTip(QString::fromLatin1(items[i].tip));
    }
    m_commands[CopyPicture]->setShortcut(QKeySequence::Copy);
    m_commands[CopyPicture]->setShortcutVisibleInContextMenu(true);
    m_commands[ResetZoom]->setShortcut(Qt::Key_Home);
    m_commands[ResetZoom]->setShortcutVisibleInContextMenu(true);
    // The menu shows the keys; the keys themselves reach the graph's window.
    m_commands[CopyPicture]->setShortcutContext(Qt::WidgetShortcut);
    m_commands[ResetZoom]->setShortcutContext(Qt::WidgetShortcut);
    connect(m_commands[CopyPicture], &QAction::triggered, this, [this] { copyPicture(); });
    connect(m_commands[ResetZoom], &QAction::triggered, this, [this] { m_navigation.resetView(); });
    QAction* mouseZoom = m_commands[MouseZoom];
    mouseZoom->setCheckable(true);
    mouseZoom->setChecked(readToolBarLayout(kMouseZoomValue) != QLatin1String("0"));
    m_navigation.setZoomEnabled(mouseZoom->isChecked());
    connect(mouseZoom, &QAction::toggled, this, [this](bool on) {
        m_navigation.setZoomEnabled(on);
        m_commands[ResetZoom]->setEnabled(on);
        writeToolBarLayout(kMouseZoomValue, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    m_commands[ResetZoom]->setEnabled(mouseZoom->isChecked());

    m_navigation.cursorTextChanged = [this](const QString& text) { showStatus(text); };
    m_navigation.contextMenuRequested = [this](const QPoint& global) { contextMenu()->popup(global); };
}

bool CGraphPage::copyPicture() {
    QWidget* window = m_host->controlWindow();
    if (!window || !graph()) return false;
    // The window's own pixels, at the screen's density.
    const QImage picture = window->grab().toImage();
    if (picture.isNull()) return false;
    QGuiApplication::clipboard()->setImage(picture);
    return true;
}

QMenu* CGraphPage::contextMenu() {
    delete m_menu;
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("graphMenu"));
    m_menu->addAction(m_commands[CopyPicture]);
    m_menu->addAction(m_commands[SavePicture]);
    m_menu->addSeparator();
    m_menu->addAction(m_commands[ResetZoom]);
    m_menu->addAction(m_commands[MouseZoom]);
    return m_menu;
}

void CGraphPage::showStatus(const QString& text) {
    // The main window shows a status tip in its status bar's message pane.
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(this, &tip);
}

CGraphPage::~CGraphPage() {
    m_navigation.detach();
    m_wrapper.setControl(nullptr);
    m_host->release();
}

bool CGraphPage::createControl(QString& error) {
    m_host->setGeometry(rect());
    if (!createHostedControl(*m_host, u"Tarvik.ViGraf", m_wrapper, error)) return false;
    // The pointer's zoom and data cursor need the control's view; without
    // it the graph is shown as ever.
    qrt::ComPtr<IGraphView> view;
    if (m_host->control() && SUCCEEDED(m_host->control()->QueryInterface(IGraphView::IID, view.outVoid())))
        m_navigation.attach(m_host->controlWindow(), view.get());
    return true;
}

long CGraphPage::seriesCount() const {
    LONG count = 0;
    if (!graph() || FAILED(m_wrapper.getLong(vigraf::CountSeries, count))) return 0;
    return count;
}

void CGraphPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_host->setGeometry(QRect(QPoint(0, 0), event->size()));
}

}  // namespace quillan::ui
