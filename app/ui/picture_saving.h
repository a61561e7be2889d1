// "Save picture": the graph written to a file the user chooses: the JPEG
// picture the graph control makes (a name without ".jpg", in any case, gets
// it appended), or the same picture as PNG, or drawn as SVG or PDF. Failures
// are reported with the path and the reason, and never leave an empty or
// half-written file.
#pragma once

#include <QString>

class QWidget;

namespace quillan {
class Graf;
}

namespace quillan::ui {

// The file name the picture goes to: unchanged when it ends in ".jpg" in
// any case, else with ".jpg" appended ("picture.jpeg" gives
// "picture.jpeg.jpg").
QString jpegPicturePath(const QString& chosen);

enum class PictureFormat { Jpeg, Png, Svg, Pdf };

// The format for the file chosen: the filter's when one was chosen, else the
// name's extension (".png", ".svg", ".pdf" in any case), else JPEG; and the
// path it is written to (the JPEG rule above, or the format's extension
// added when the name lacks it).
PictureFormat pictureFormatOf(const QString& chosen, const QString& filter);
QString picturePath(const QString& chosen, PictureFormat format);

// Writes the graph's picture to path; false with the reason when it cannot.
bool writeGraphPicture(Graf& graf, const QString& path, QString& error,
                       PictureFormat format = PictureFormat::Jpeg);

// Asks for the file (through the message seam) and saves the picture there.
void saveGraphPicture(QWidget* parent, Graf& graf);

}  // namespace quillan::ui
