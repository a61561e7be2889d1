// "Save picture": the graph written to a file the user chooses, as the JPEG
// picture the graph control makes. A name without ".jpg" (in any case) gets
// it appended. Failures are reported with the path and the reason, and
// never leave an empty or half-written file.
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

// Writes the graph's picture to path; false with the reason when it cannot.
bool writeGraphPicture(Graf& graf, const QString& path, QString& error);

// Asks for the file (through the message seam) and saves the picture there.
void saveGraphPicture(QWidget* parent, Graf& graf);

}  // namespace quillan::ui
