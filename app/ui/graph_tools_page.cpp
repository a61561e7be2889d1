#include "app/ui/graph_tools_page.h"

#include "app/core/document.h"
#include "app/core/graf.h"
#include "app/ui/picture_saving.h"
#include "app/ui/tool_icons.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillan::ui {
namespace {

QSlider* makeTrackbar(int minimum, int maximum, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(minimum, maximum);
    slider->setValue(minimum);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);  // a tic at every position
    slider->setSingleStep(1);
    return slider;
}

QToolButton* makeButton(const QString& caption, const QIcon& icon, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setIcon(icon);
    button->setIconSize(QSize(40, 40));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setMinimumWidth(96);
    return button;
}

}  // namespace

CGraphToolsPage::CGraphToolsPage(CQuillanDoc& document, QWidget* parent)
    : QWidget(parent), m_document(document),
      m_savePicture(makeButton(QStringLiteral("Save picture"), savePictureIcon(), this)),
      m_flatZooming(makeButton(QStringLiteral("Flat zooming"), flatZoomingIcon(), this)) {
    m_savePicture->setObjectName(QStringLiteral("savePicture"));
    m_flatZooming->setObjectName(QStringLiteral("flatZooming"));
    m_flatZooming->setCheckable(true);

    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_savePicture);
    buttons->addWidget(m_flatZooming);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    struct Row {
        int id;
        const char* label;
        int minimum, maximum;
    };
    struct Group {
        const char* title;
        std::initializer_list<Row> rows;
    };
    const Group groups[] = {
        {"Size zooming box", {{HorizontalSize, "Horizontal size", 100, 900}, {VerticalSize, "Vertical size", 100, 900}}},
        {"Position zooming  box", {{XPosition, "X - position", 100, 900}, {YPosition, "Y - position", 100, 900}}},
        {"Magnification", {{ZoomingScale, "Zooming scale", 1, 100}}},
    };
    for (const Group& g : groups) {
        auto* box = new QGroupBox(QString::fromLatin1(g.title), this);
        auto* grid = new QGridLayout(box);
        int row = 0;
        for (const Row& r : g.rows) {
            QSlider* slider = makeTrackbar(r.minimum, r.maximum, box);
            slider->setObjectName(QStringLiteral("trackbar%1").arg(r.id));
            auto* label = new QLabel(QString::fromLatin1(r.label), box);
            label->setBuddy(slider);
            grid->addWidget(label, row, 0);
            grid->addWidget(slider, row, 1);
            ++row;
            m_trackbars[static_cast<std::size_t>(r.id - HorizontalSize)] = slider;
            slider->installEventFilter(this);
            connect(slider, &QSlider::valueChanged, this, [this, id = r.id](int position) {
                // Only a drag with the left button acts; keys and the wheel do not.
                if (m_dragging == id) trackbarMoved(id, position);
            });
            m_zoomControls << slider << label;
        }
        m_zoomControls << box;
        layout->addWidget(box);
    }
    layout->addStretch(1);
    for (QWidget* control : m_zoomControls) control->setEnabled(false);

    connect(m_flatZooming, &QToolButton::toggled, this, &CGraphToolsPage::setFlatZooming);
    connect(m_savePicture, &QToolButton::clicked, this, &CGraphToolsPage::savePictureDialog);
}

QList<QWidget*> CGraphToolsPage::zoomControls() const { return m_zoomControls; }

void CGraphToolsPage::setFlatZooming(bool on) {
    for (QWidget* control : m_zoomControls) control->setEnabled(on);
    m_document.graf().SetAutoZoom(on ? 1 : 0);
}

bool CGraphToolsPage::eventFilter(QObject* watched, QEvent* event) {
    for (int id = HorizontalSize; id <= ZoomingScale; ++id) {
        if (watched != trackbar(id)) continue;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove: {
            // A drag: the left button, and no other, held.
            const auto* mouse = static_cast<QMouseEvent*>(event);
            m_dragging = mouse->buttons() == Qt::LeftButton ? id : -1;
            break;
        }
        case QEvent::MouseButtonRelease:
            m_dragging = -1;
            break;
        case QEvent::FocusOut:
            if (id == HorizontalSize) m_document.graf().ReDrawGraph();
            break;
        default:
            break;
        }
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CGraphToolsPage::trackbarMoved(int id, int position) {
    Graf& graf = m_document.graf();
    switch (id) {
    case HorizontalSize: m_boxWidth = position; break;
    case VerticalSize: m_boxHeight = position; break;
    case XPosition: m_boxX = position - 100; break;
    case YPosition: m_boxY = position - 100; break;
    case ZoomingScale: {
        double x = 0, y = 0, w = 0, h = 0;
        graf.GetBox(&x, &y, &w, &h);
        m_magnifier = QRectF(0, 0, w / position, h / position);
        graf.Magnifier(0, 0, m_magnifier.width(), m_magnifier.height());
        return;
    }
    default: return;
    }
    graf.SetZoomRect(m_boxX, m_boxY, m_boxWidth, m_boxHeight);
}

void CGraphToolsPage::savePictureDialog() { saveGraphPicture(this, m_document.graf()); }

}  // namespace quillan::ui
