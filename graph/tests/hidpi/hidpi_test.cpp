// The graph window on a high-density screen (this test runs with a screen
// scale of 2): the graph is drawn at the screen's own pixels, its lines stay
// one device pixel wide, its text grows with the density, and the pointer
// and saved pictures count in the same pixels.
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"
#include "runtime/storage.h"

#include <QImage>
#include <QMouseEvent>

#include <string>
#include <vector>

namespace tarvik_test {
namespace {

// Rows in column x holding the colour (the curve's pen, exactly).
int rowsOfColour(const QImage& image, int x, QRgb colour) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) rows += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return rows;
}

// The height of the dark text in the band of rows [top, bottom).
int textHeight(const QImage& image, int top, int bottom) {
    int first = -1, last = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 80) {
                if (first < 0) first = y;
                last = y;
                break;
            }
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

TEST_F(TarvikTest, OnADenseScreenTheGraphIsDrawnAtDevicePixels) {
    // This program's application is made here, first: with the screen scaled.
    qputenv("QT_SCALE_FACTOR", "2");
    ensureApplication();
    qhost::ControlHost host;
    host.resize(300, 200);
    host.show();
    ASSERT_EQ(host.create(CLSID_ViGraf), S_OK) << qrt::lastActivationError();
    QWidget* window = host.controlWindow();
    ASSERT_NE(window, nullptr);
    if (window->devicePixelRatioF() != 2.0) GTEST_SKIP() << "the screen scale is not 2 here";
    auto graf = ComPtr<IUnknown>(host.control()).as<IViGraf>();

    // A flat line across the middle, in pure green, and a title under the axis.
    std::vector<double> x = {0, 1, 2, 3, 4}, y = {0, 1, 0.5, 0.5, 1};
    graf->CreateSeries();
    graf->SetPoints(0, 5, x.data(), y.data());
    graf->SetPropertySeries(0, 255, 0x00FF00);
    ASSERT_EQ(put(graf.get(), u"X_axis", Variant(u"@LN@Time")).hr, S_OK);

    const QImage shot = window->grab().toImage();
    if (const char* dir = std::getenv("QUILLAN_SAVE_PICTURES")) shot.save(QString::fromUtf8(dir) + "/hidpi.png");
    EXPECT_EQ(shot.size(), QSize(600, 400));
    // The flat part between x = 2 and 3 is one device row high: drawn, not
    // stretched from a 300 x 200 picture (that would make it two).
    const QRgb green = qRgb(0, 255, 0);
    int columnsChecked = 0;
    for (int column = 360; column < 440; column += 7) {
        const int rows = rowsOfColour(shot, column, green);
        if (rows == 0) continue;
        EXPECT_EQ(rows, 1) << "column " << column;
        ++columnsChecked;
    }
    EXPECT_GT(columnsChecked, 5);

    // The pointer reports graph coordinates of the device pixel under it:
    // the right edge of the plot is the same place at either density.
    QMouseEvent move(QEvent::MouseMove, QPointF(150, 100), window->mapToGlobal(QPointF(150, 100)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    double px = 0;
    ASSERT_EQ(graf->get_X(&px), S_OK);
    EXPECT_GT(px, 1.5);
    EXPECT_LT(px, 2.5);

    // The picture the graph keeps is the one on the screen: full density,
    // with text twice the height it has at the standard density.
    ComPtr<IStream> stream;
    ASSERT_EQ(qrt::createMemoryStream(stream.out()), S_OK);
    ASSERT_EQ(graf->SavePicture(reinterpret_cast<IDispatch*>(stream.get())), S_OK);
    std::string bytes;
    qrt::memoryStreamBytes(stream.get(), &bytes);
    const QImage saved = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()));
    EXPECT_EQ(saved.size(), QSize(600, 400));

    const QImage standard = qhost::renderControl(graf.get(), 300, 200);
    ASSERT_EQ(standard.size(), QSize(300, 200));
    const int denseText = textHeight(shot, 400 - 400 / 15 + 2, 400);
    const int standardText = textHeight(standard, 200 - 200 / 15 + 2, 200);
    ASSERT_GT(standardText, 3);
    EXPECT_GE(denseText, 2 * standardText - 3);
    EXPECT_LE(denseText, 2 * standardText + 3);
    host.release();
}

}  // namespace
}  // namespace tarvik_test
