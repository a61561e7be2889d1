#include "app/ui/picture_saving.h"

#include "app/core/graf.h"
#include "app/ui/message_box.h"

#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

namespace quillan::ui {

QString jpegPicturePath(const QString& chosen) {
    if (chosen.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive)) return chosen;
    return chosen + QLatin1String(".jpg");
}

bool writeGraphPicture(Graf& graf, const QString& path, QString& error) {
    std::string jpeg;
    const HRESULT hr = graf.graphPicture(jpeg);
    if (hr == S_FALSE) {
        error = QStringLiteral("there is no graph to save");
        return false;
    }
    // The control's picture is checked, then written as it is: a second
    // JPEG encoding would only lose detail.
    if (FAILED(hr) || jpeg.empty() ||
        QImage::fromData(reinterpret_cast<const uchar*>(jpeg.data()), static_cast<int>(jpeg.size()), "JPEG").isNull()) {
        error = QStringLiteral("the graph control made no picture (error 0x%1)")
                    .arg(static_cast<unsigned>(hr), 8, 16, QLatin1Char('0'));
        return false;
    }
    // Written beside the target and renamed over it once complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(jpeg.data(), static_cast<qint64>(jpeg.size())) != static_cast<qint64>(jpeg.size()) ||
        !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

void saveGraphPicture(QWidget* parent, Graf& graf) {
    FileRequest request;
    request.title = QStringLiteral("Save picture");
    request.filter = QStringLiteral("JPEG (*.jpg)");
    request.save = true;
    const QString chosen = messageSeam().askFileName(parent, request);
    if (chosen.isEmpty()) return;
    const QString path = jpegPicturePath(chosen);
    // The dialog asked about the name as typed; with ".jpg" added it may
    // name another file, which is not replaced unasked.
    if (path != chosen && QFileInfo::exists(path)) {
        MessageRequest replace;
        replace.title = programCaption();
        replace.text = QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(path);
        replace.icon = QMessageBox::Warning;
        replace.buttons = QMessageBox::Yes | QMessageBox::No;
        replace.defaultButton = QMessageBox::No;
        if (messageSeam().ask(parent, replace) != QMessageBox::Yes) return;
    }
    QString error;
    if (!writeGraphPicture(graf, path, error))
        tell(parent, QStringLiteral("The picture could not be saved to %1:\n%2").arg(path, error));
}

}  // namespace quillan::ui
