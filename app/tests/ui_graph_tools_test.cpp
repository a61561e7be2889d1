// The "Graphics tools" page: Flat zooming enables the zoom controls and the
// control's AutoZoom, only left-button drags of the trackbars act, the
// magnification divides the graph box, and Save picture writes the control's
// JPEG under the ".jpg" rule, reporting failures without leaving files.
#include "app/tests/ui_support.h"
#include "app/ui/form_tab_view.h"
#include "app/ui/graph_page.h"
#include "app/ui/graph_tools_page.h"
#include "app/ui/left_pane.h"
#include "app/ui/picture_saving.h"

#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolButton>

namespace {

using quillan::ui::CGraphToolsPage;
CGraphToolsPage* toolsOf(quillan::ui::CMainFrame& frame) {
    frame.leftPane()->selectPage(quillan::ui::CLeftPane::GraphicsTools);
    return frame.leftPane()->graphToolsPage();
}

class ToolsTest : public WindowFixture {
protected:
    // A drawing script opened and the graph page shown; the tools page.
    CGraphToolsPage* showDrawnGraph() {
        if (!frame->openScript(write("drawn.vbs", kDrawingScript))) return nullptr;
        clickTab(frame->formView(), quillan::ui::CFormTabView::Graphic);
        QApplication::processEvents();
        return toolsOf(*frame);
    }
};


LONG autoZoom(quillan::ui::CMainFrame& frame) {
    const quillan::CVigraf1* graph = frame.formView()->graphPage()->graph();
    LONG value = -1;
    if (!graph || FAILED(graph->getLong(quillan::vigraf::AutoZoom, value))) return -1;
    return value;
}

// Drags the slider's handle to the far end (left or right) with the
// given buttons held, as the pointer does.
void drag(QSlider* slider, bool toRight, Qt::MouseButtons buttons = Qt::LeftButton) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->value();
    option.sliderValue = slider->value();
    const QPoint handle =
        slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
    const QPoint end(toRight ? slider->width() + 50 : -50, handle.y());
    const Qt::MouseButton pressed = (buttons & Qt::LeftButton) ? Qt::LeftButton : Qt::RightButton;
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, slider->mapToGlobal(at), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(slider, &event);
    };
    send(QEvent::MouseButtonPress, handle, pressed, buttons);
    for (int step = 1; step <= 10; ++step) send(QEvent::MouseMove, handle + (end - handle) * step / 10, Qt::NoButton, buttons);
    send(QEvent::MouseButtonRelease, end, pressed, buttons & ~Qt::MouseButtons(pressed));
}

TEST_F(ToolsTest, FlatZoomingEnablesTheTrackbarsAndTheControlsAutoZoom) {
    CGraphToolsPage* tools = toolsOf(*frame);
    ASSERT_NE(tools, nullptr);
    for (QWidget* control : tools->zoomControls()) EXPECT_FALSE(control->isEnabled());
    EXPECT_EQ(tools->zoomControls().size(), 13) << "five trackbars, five labels, three groups";
    tools->flatZooming()->click();
    for (QWidget* control : tools->zoomControls()) EXPECT_TRUE(control->isEnabled());
    EXPECT_EQ(autoZoom(*frame), 1);
    tools->flatZooming()->click();
    for (QWidget* control : tools->zoomControls()) EXPECT_FALSE(control->isEnabled());
    EXPECT_EQ(autoZoom(*frame), 0);
    // The ranges and starting positions.
    EXPECT_EQ(tools->trackbar(CGraphToolsPage::XPosition)->minimum(), 100);
    EXPECT_EQ(tools->trackbar(CGraphToolsPage::XPosition)->maximum(), 900);
    EXPECT_EQ(tools->trackbar(CGraphToolsPage::ZoomingScale)->maximum(), 100);
    EXPECT_EQ(tools->trackbar(CGraphToolsPage::ZoomingScale)->value(), 1);
}

TEST_F(ToolsTest, OnlyLeftButtonDragsMoveTheZoomBox) {
    ASSERT_TRUE(frame->openScript(write("drawn.vbs", kDrawingScript)));
    CGraphToolsPage* tools = toolsOf(*frame);
    tools->flatZooming()->click();
    QSlider* x = tools->trackbar(CGraphToolsPage::XPosition);
    drag(x, true);
    EXPECT_EQ(tools->boxX(), 800);
    drag(x, false);
    EXPECT_EQ(tools->boxX(), 0);
    QSlider* width = tools->trackbar(CGraphToolsPage::HorizontalSize);
    drag(width, true);
    EXPECT_EQ(tools->boxWidth(), 900);

    // The keyboard and other buttons move the handle but not the box.
    x->setFocus();
    QTest::keyClick(x, Qt::Key_End);
    EXPECT_EQ(x->value(), 900);
    EXPECT_EQ(tools->boxX(), 0);
    drag(x, false, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(tools->boxX(), 0);

    // Magnification p: the graph box's width and height divided by p.
    double bx = 0, by = 0, bw = 0, bh = 0;
    ASSERT_EQ(frame->document().graf().GetBox(&bx, &by, &bw, &bh), S_OK);
    ASSERT_GT(bw, 0);
    QSlider* scale = tools->trackbar(CGraphToolsPage::ZoomingScale);
    drag(scale, true);
    EXPECT_EQ(tools->magnifierBox(), QRectF(0, 0, bw / 100, bh / 100));
    drag(scale, false);
    EXPECT_EQ(tools->magnifierBox(), QRectF(0, 0, bw, bh));
}

TEST_F(ToolsTest, SavePictureWritesTheGraphUnderTheJpgRule) {
    EXPECT_EQ(quillan::ui::jpegPicturePath(QStringLiteral("/a/picture.JPG")), QStringLiteral("/a/picture.JPG"));
    EXPECT_EQ(quillan::ui::jpegPicturePath(QStringLiteral("/a/picture.jpeg")), QStringLiteral("/a/picture.jpeg.jpg"));
    EXPECT_EQ(quillan::ui::jpegPicturePath(QStringLiteral("/a/picture")), QStringLiteral("/a/picture.jpg"));

    CGraphToolsPage* tools = showDrawnGraph();
    ASSERT_NE(tools, nullptr);
    quillan::ui::CFormTabView* form = frame->formView();
    const QString folder = QString::fromStdString(m_folder);
    seam.files = {folder + "/picture.JPG"};
    tools->savePicture()->click();
    QImage saved(folder + "/picture.JPG");
    if (const QByteArray shots = qgetenv("QUILLAN_UI_SHOTS"); !shots.isEmpty()) saved.save(QString::fromLocal8Bit(shots) + "/saved-picture.png");
    ASSERT_FALSE(saved.isNull()) << seam.allTexts().join('|').toStdString();
    EXPECT_EQ(saved.size(), form->graphPage()->graph() ? form->graphPage()->size() : QSize());
    // The red second curve of the script is in the picture.
    int red = 0;
    for (int y = 0; y < saved.height(); ++y)
        for (int x = 0; x < saved.width(); ++x) {
            const QColor c = saved.pixelColor(x, y);
            red += c.red() > 150 && c.red() - c.green() > 60 && c.red() - c.blue() > 60;
        }
    EXPECT_GT(red, 50);

    seam.files = {folder + "/picture.jpeg"};
    tools->savePicture()->click();
    EXPECT_TRUE(QFileInfo::exists(folder + "/picture.jpeg.jpg"));

    // ".jpg" added onto the name of a file that exists: asked first.
    write("kept.jpg", "not a picture");
    seam.files = {folder + "/kept"};
    seam.answers = {QMessageBox::No};
    tools->savePicture()->click();
    EXPECT_EQ(read(folder + "/kept.jpg"), "not a picture");
    EXPECT_TRUE(seam.messages.back().text.contains(QStringLiteral("already exists")));

    // A folder that is not there: said so, nothing left behind.
    seam.messages.clear();
    const QString missing = folder + "/no such folder/picture.jpg";
    seam.files = {missing};
    tools->savePicture()->click();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_TRUE(seam.messages[0].text.contains(missing)) << seam.messages[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(missing));
    const QStringList left = QDir(folder).entryList(QDir::Files);
    for (const QString& name : left) EXPECT_FALSE(name.contains(QStringLiteral("picture.jpg."))) << name.toStdString();
}

TEST_F(ToolsTest, SavePictureAlsoWritesPngSvgAndPdf) {
    using quillan::ui::PictureFormat;
    EXPECT_EQ(quillan::ui::pictureFormatOf(QStringLiteral("a.SVG"), {}), PictureFormat::Svg);
    EXPECT_EQ(quillan::ui::pictureFormatOf(QStringLiteral("a.svg"), QStringLiteral("JPEG (*.jpg)")), PictureFormat::Jpeg);
    EXPECT_EQ(quillan::ui::picturePath(QStringLiteral("a.svg"), PictureFormat::Jpeg), QStringLiteral("a.svg.jpg"));
    EXPECT_EQ(quillan::ui::picturePath(QStringLiteral("a"), PictureFormat::Pdf), QStringLiteral("a.pdf"));
    EXPECT_EQ(quillan::ui::picturePath(QStringLiteral("a.PNG"), PictureFormat::Png), QStringLiteral("a.PNG"));

    CGraphToolsPage* tools = showDrawnGraph();
    ASSERT_NE(tools, nullptr);
    quillan::ui::CFormTabView* form = frame->formView();
    const QString folder = QString::fromStdString(m_folder);
    // The PNG filter chosen, the name typed without its extension.
    seam.files = {folder + "/plot"};
    seam.filters = {QStringLiteral("PNG, lossless (*.png)")};
    tools->savePicture()->click();
    ASSERT_EQ(seam.fileRequests.back().filter.split(QStringLiteral(";;")).first(), QStringLiteral("JPEG (*.jpg)"));
    const QImage png(folder + "/plot.png", "PNG");
    ASSERT_FALSE(png.isNull()) << seam.allTexts().join('|').toStdString();
    EXPECT_EQ(png.size(), form->graphPage()->size());
    // SVG and PDF by the name's extension.
    seam.files = {folder + "/plot.svg", folder + "/plot.pdf"};
    tools->savePicture()->click();
    tools->savePicture()->click();
    EXPECT_TRUE(read(folder + "/plot.svg").find("<svg") != std::string::npos);
    EXPECT_EQ(read(folder + "/plot.pdf").rfind("%PDF", 0), 0u);
    EXPECT_TRUE(seam.messages.empty()) << seam.allTexts().join('|').toStdString();
    // A failure names the file and leaves nothing.
    const QString missing = folder + "/gone/plot.svg";
    seam.files = {missing};
    tools->savePicture()->click();
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_TRUE(seam.messages[0].text.contains(missing)) << seam.messages[0].text.toStdString();
}

TEST_F(ToolsTest, CtrlCOnTheGraphCopiesItAsAPicture) {
    ASSERT_TRUE(frame->openScript(write("drawn.vbs", kDrawingScript)));
    quillan::ui::CFormTabView* form = frame->formView();
    clickTab(form, quillan::ui::CFormTabView::Graphic);
    QWidget* graph = form->graphPage()->host()->controlWindow();
    ASSERT_NE(graph, nullptr);
    QApplication::clipboard()->clear();
    graph->setFocus();
    QTest::keyClick(graph, Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QApplication::clipboard()->image();
    ASSERT_FALSE(copied.isNull());
    EXPECT_EQ(copied.size(), graph->size() * graph->devicePixelRatio());
    EXPECT_EQ(copied.pixelColor(3, 3), QColor(Qt::white));
}

}  // namespace
