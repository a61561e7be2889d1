#include "app/ui/graph_tools_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace quillan::ui {
namespace {

QSlider* trackbar(int minimum, int maximum, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(minimum, maximum);
    slider->setValue(minimum);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval((maximum - minimum) / 8);
    return slider;
}

// A group of labelled trackbars.
QGroupBox* group(const QString& title, std::initializer_list<std::pair<QString, QSlider*>> rows, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QGridLayout(box);
    int row = 0;
    for (const auto& [label, slider] : rows) {
        slider->setParent(box);
        layout->addWidget(new QLabel(label, box), row, 0);
        layout->addWidget(slider, row, 1);
        ++row;
    }
    return box;
}

}  // namespace

// The zooming controls stay disabled until "Flat zooming" is on; what they
// do is the magnifier panel's.
CGraphToolsPage::CGraphToolsPage(QWidget* parent)
    : QWidget(parent), m_savePicture(new QPushButton(QStringLiteral("Save picture"), this)),
      m_flatZooming(new QPushButton(QStringLiteral("Flat zooming"), this)) {
    m_flatZooming->setCheckable(true);
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_savePicture);
    buttons->addWidget(m_flatZooming);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    QGroupBox* size = group(QStringLiteral("Size zooming box"),
                            {{QStringLiteral("Horizontal size"), trackbar(100, 900, this)},
                             {QStringLiteral("Vertical size"), trackbar(100, 900, this)}},
                            this);
    QGroupBox* position = group(QStringLiteral("Position zooming  box"),
                                {{QStringLiteral("X - position"), trackbar(100, 900, this)},
                                 {QStringLiteral("Y - position"), trackbar(100, 900, this)}},
                                this);
    QGroupBox* magnification =
        group(QStringLiteral("Magnification"), {{QStringLiteral("Zooming scale"), trackbar(1, 100, this)}}, this);
    for (QGroupBox* box : {size, position, magnification}) {
        box->setEnabled(false);
        layout->addWidget(box);
    }
    m_savePicture->setEnabled(false);
    m_flatZooming->setEnabled(false);
    layout->addStretch(1);
}

}  // namespace quillan::ui
