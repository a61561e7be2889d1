#include "app/ui/about_dialog.h"

#include "app/core/data_folder.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace quillan::ui {

QIcon programIcon() {
    const QString file = QString::fromStdString(dataFolder()) + QStringLiteral("/icons/quillan.svg");
    if (QFileInfo::exists(file)) {
        QIcon icon(file);
        if (!icon.isNull()) return icon;
    }
    return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Quillan"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(programIcon().pixmap(QSize(64, 64), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QStringLiteral("Quillan"), this);
    name->setObjectName(QStringLiteral("name"));
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.4);
    name->setFont(bold);
    const QString version = QApplication::applicationVersion();
    auto* versionLabel = new QLabel(
        version.isEmpty() ? QStringLiteral("Version unknown") : QStringLiteral("Version %1").arg(version), this);
    versionLabel->setObjectName(QStringLiteral("version"));
    auto* purpose = new QLabel(QStringLiteral("A scriptable graphing workbench."), this);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(versionLabel);
    texts->addWidget(purpose);
    texts->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace quillan::ui
