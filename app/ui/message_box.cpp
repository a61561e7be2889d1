#include "app/ui/message_box.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

namespace quillan::ui {
namespace {

DialogMessageSeam& dialogs() {
    static DialogMessageSeam seam;
    return seam;
}

MessageSeam*& current() {
    static MessageSeam* seam = &dialogs();
    return seam;
}

}  // namespace

QMessageBox::StandardButton DialogMessageSeam::ask(QWidget* parent, const MessageRequest& request) {
    QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
    if (request.defaultButton != QMessageBox::NoButton) box.setDefaultButton(request.defaultButton);
    // Escape answers Cancel when there is one, else the only button.
    if (request.buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    const int answer = box.exec();
    return static_cast<QMessageBox::StandardButton>(answer);
}

std::optional<QString> DialogMessageSeam::askText(QWidget* parent, const TextRequest& request) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, request.title, request.prompt, QLineEdit::Normal, request.defaultText, &ok);
    if (!ok) return std::nullopt;
    return text;
}

QString DialogMessageSeam::askFileName(QWidget* parent, const FileRequest& request) {
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(request.filter);
    if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    if (request.selectedFilter) *request.selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().first();
}

int DialogMessageSeam::runDialog(QDialog& dialog) { return dialog.exec(); }

bool DialogMessageSeam::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

MessageSeam* setMessageSeam(MessageSeam* seam) {
    MessageSeam* previous = current();
    current() = seam ? seam : &dialogs();
    return previous;
}

MessageSeam& messageSeam() { return *current(); }

void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    MessageRequest request;
    request.title = programCaption();
    request.text = text;
    request.icon = icon;
    messageSeam().ask(parent, request);
}

QString programCaption() { return QStringLiteral("Quillan"); }

}  // namespace quillan::ui
