#include "app/ui/graph_page.h"

#include "app/ui/hosted_control.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QResizeEvent>
#include <QShortcut>

namespace quillan::ui {

CGraphPage::CGraphPage(QWidget* parent) : QWidget(parent), m_host(new qhost::ControlHost(this)) {
    m_host->setObjectName(QStringLiteral("graph"));
    // Ctrl+C while the graph has the keyboard: the graph as a picture.
    auto* copy = new QShortcut(QKeySequence::Copy, this, this, &CGraphPage::copyPicture);
    copy->setContext(Qt::WidgetWithChildrenShortcut);
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

CGraphPage::~CGraphPage() {
    m_wrapper.setControl(nullptr);
    m_host->release();
}

bool CGraphPage::createControl(QString& error) {
    m_host->setGeometry(rect());
    return createHostedControl(*m_host, u"Tarvik.ViGraf", m_wrapper, error);
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
