#include "app/ui/picture_saving.h"

#include "app/core/graf.h"
#include "app/ui/message_box.h"
#include "graph/graph_export.h"

#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

namespace quillan::ui {

QString jpegPicturePath(const QString& chosen) {
    if (chosen.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive)) return chosen;
    return chosen + QLatin1String(".jpg");
}

namespace {

struct FormatInfo {
    PictureFormat format;
    const char* filter;
    const char* extension;
    LONG code;  // the graph control's number for it
};

// The JPEG filter first: the picture the program has always saved.
constexpr FormatInfo kFormats[] = {
    {PictureFormat::Jpeg, "JPEG (*.jpg)", ".jpg", GraphPictureJpeg},
    {PictureFormat::Png, "PNG, lossless (*.png)", ".png", GraphPicturePng},
    {PictureFormat::Svg, "SVG, vector (*.svg)", ".svg", GraphPictureSvg},
    {PictureFormat::Pdf, "PDF, vector (*.pdf)", ".pdf", GraphPicturePdf},
};

const FormatInfo& infoOf(PictureFormat format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) return info;
    }
    return kFormats[0];
}

}  // namespace

PictureFormat pictureFormatOf(const QString& chosen, const QString& filter) {
    for (const FormatInfo& info : kFormats) {
        if (!filter.isEmpty() && filter == QLatin1String(info.filter)) return info.format;
    }
    for (const FormatInfo& info : kFormats) {
        if (chosen.endsWith(QLatin1String(info.extension), Qt::CaseInsensitive)) return info.format;
    }
    return PictureFormat::Jpeg;
}

QString picturePath(const QString& chosen, PictureFormat format) {
    if (format == PictureFormat::Jpeg) return jpegPicturePath(chosen);
    const QLatin1String extension(infoOf(format).extension);
    return chosen.endsWith(extension, Qt::CaseInsensitive) ? chosen : chosen + extension;
}

bool writeGraphPicture(Graf& graf, const QString& path, QString& error, PictureFormat format) {
    if (format != PictureFormat::Jpeg) {
        // The graph control writes these itself, beside the target first.
        std::u16string reason;
        const HRESULT hr = graf.exportPicture(path.toStdU16String(), infoOf(format).code, reason);
        if (hr == S_FALSE) error = QStringLiteral("there is no graph to save");
        else if (FAILED(hr)) error = QString::fromStdU16String(reason);
        return hr == S_OK;
    }
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
    QStringList filters;
    for (const FormatInfo& info : kFormats) filters << QLatin1String(info.filter);
    request.filter = filters.join(QStringLiteral(";;"));
    request.save = true;
    QString filter;
    request.selectedFilter = &filter;
    const QString chosen = messageSeam().askFileName(parent, request);
    if (chosen.isEmpty()) return;
    const PictureFormat format = pictureFormatOf(chosen, filter);
    const QString path = picturePath(chosen, format);
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
    if (!writeGraphPicture(graf, path, error, format))
        tell(parent, QStringLiteral("The picture could not be saved to %1:\n%2").arg(path, error));
}

}  // namespace quillan::ui
