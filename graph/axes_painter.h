// The axes pass: plot frame, grid, ticks with their labels, and the two axis
// titles with their styled runs and the decimal multiplier of each axis.
#pragma once

#include "graph/plot_geometry.h"
#include "graph/title_runs.h"

#include <QPointF>
#include <QString>

#include <vector>

class QPainter;
class QFont;
class QImage;

namespace tarvik {

// What the axes are drawn on. A pixel picture gets one-pixel lines on the
// pixels at their integer coordinates. A vector device (SVG, PDF) keeps
// lines and text as such: its lines run through the centres of those
// pixels, so that it shows them where the picture has them, and the
// symbol font's letters are written as the Greek letters they show, in the
// text font, so the text reads right in any viewer.
enum class AxesSurface { Raster, Vector };

// Draws frame, grid, ticks, labels and titles for the widened box. image is
// the picture painter draws on, when there is one (lines then go straight
// into its pixels), else null.
void drawAxes(QPainter& painter, QImage* image, const Geometry& g, const Box& box,
              const std::vector<TitleRun>& xRuns, const std::vector<TitleRun>& yRuns,
              AxesSurface surface = AxesSurface::Raster);

// Draws one title block turned by angle degrees about its anchor; the axis
// multiplier ("  x", "10", exponent) follows the runs when |exponent| > 2.
void drawTitleBlock(QPainter& painter, const std::vector<TitleRun>& runs, int exponent, QPointF anchor,
                    double angle, AxesSurface surface = AxesSurface::Raster);

// The symbol font's letters as the Greek characters it shows for them
// (a is alpha, b beta, g gamma, ...); other characters stay.
QString symbolText(const QString& text);

}  // namespace tarvik
