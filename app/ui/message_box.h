// Every message box and text prompt of the windows goes through one seam, so
// that tests can read what the user would be told and answer it.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <optional>

class QDialog;
class QUrl;
class QWidget;

namespace quillan::ui {

struct MessageRequest {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

struct TextRequest {
    QString title;
    QString prompt;
    QString defaultText;
};

struct FileRequest {
    QString title;
    QString filter;         // Qt's form: "Java Script Files (*.js);;..."
    QString defaultSuffix;  // added to a name given without one
    bool save = false;      // a file to write (asks before replacing one)
    // Where the filter the user chose goes (one of filter's), when not null.
    QString* selectedFilter = nullptr;
};

class MessageSeam {
public:
    virtual ~MessageSeam() = default;
    // Shows the message modally; returns the button chosen.
    virtual QMessageBox::StandardButton ask(QWidget* parent, const MessageRequest& request) = 0;
    // Asks for one line of text; nothing when cancelled.
    virtual std::optional<QString> askText(QWidget* parent, const TextRequest& request) = 0;
    // Asks for a file name; empty when cancelled.
    virtual QString askFileName(QWidget* parent, const FileRequest& request) = 0;
    // Runs one of the program's own dialogs modally; its result code.
    virtual int runDialog(QDialog& dialog) = 0;
    // Hands a link to the desktop (the browser for a page); false when
    // nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
};

// Modal Qt dialogs: what the program uses unless told otherwise.
class DialogMessageSeam final : public MessageSeam {
public:
    QMessageBox::StandardButton ask(QWidget* parent, const MessageRequest& request) override;
    std::optional<QString> askText(QWidget* parent, const TextRequest& request) override;
    QString askFileName(QWidget* parent, const FileRequest& request) override;
    int runDialog(QDialog& dialog) override;
    bool openUrl(const QUrl& url) override;
};

// Puts a seam in place (null restores the dialogs); returns the previous one.
MessageSeam* setMessageSeam(MessageSeam* seam);
MessageSeam& messageSeam();

// The common case: a message with an OK button.
void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning);

// The caption of the program's windows and boxes.
QString programCaption();

}  // namespace quillan::ui
