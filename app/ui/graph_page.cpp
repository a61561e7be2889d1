#include "app/ui/graph_page.h"

#include "app/ui/hosted_control.h"

#include <QResizeEvent>

namespace quillan::ui {

CGraphPage::CGraphPage(QWidget* parent) : QWidget(parent), m_host(new qhost::ControlHost(this)) {
    m_host->setObjectName(QStringLiteral("graph"));
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
