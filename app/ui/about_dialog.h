// The About box (the program's icon, name and version, and OK), and the
// program's icon for its windows.
#pragma once

#include <QDialog>
#include <QIcon>

namespace quillan::ui {

// The icon of the data folder; a stock icon when the file is missing.
QIcon programIcon();

class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace quillan::ui
