// The graph as picture files: PNG is the window's picture without loss, SVG
// and PDF draw the same layout as vectors (one line per series in its colour
// and alpha, text as text), and a file is written whole or not at all.
#include "graph/graph_export.h"
#include "graph/tests/tarvik_fixture.h"
#include "hosting/control_host.h"
#include "runtime/storage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace tarvik_test {
namespace {

// The plot area of a 640 x 400 picture: (64, 12) to (628, 358).
constexpr int kLeft = 64, kTop = 12, kRight = 628, kBottom = 358;

// One line or shape of an SVG with the stroke it is drawn with (its own or
// its group's).
struct SvgShape {
    QString element;  // polyline, path, rect, ...
    QString stroke;
    double strokeOpacity = 1;
    QString data;  // points or d
};

struct SvgContent {
    std::vector<SvgShape> shapes;
    QStringList texts;
    QString error;
};

SvgContent parseSvg(const QByteArray& bytes) {
    SvgContent content;
    QXmlStreamReader xml(bytes);
    std::vector<std::map<QString, QString>> inherited{{}};
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            std::map<QString, QString> attributes = inherited.back();
            for (const QXmlStreamAttribute& a : xml.attributes()) attributes[a.name().toString()] = a.value().toString();
            inherited.push_back(attributes);
            const QString name = xml.name().toString();
            if (name == QLatin1String("text")) {
                content.texts << xml.readElementText(QXmlStreamReader::IncludeChildElements);
                inherited.pop_back();
            } else if (name == QLatin1String("polyline") || name == QLatin1String("path") ||
                       name == QLatin1String("line") || name == QLatin1String("rect")) {
                SvgShape shape{name, attributes[QStringLiteral("stroke")], 1,
                               attributes[name == QLatin1String("path") ? QStringLiteral("d") : QStringLiteral("points")]};
                if (attributes.count(QStringLiteral("stroke-opacity")))
                    shape.strokeOpacity = attributes[QStringLiteral("stroke-opacity")].toDouble();
                content.shapes.push_back(shape);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            inherited.pop_back();
        }
    }
    if (xml.hasError()) content.error = xml.errorString();
    return content;
}

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QColor overWhite(QColor c, int alpha) {
    auto mix = [&](int v) { return (v * alpha + 255 * (255 - alpha) + 127) / 255; };
    return QColor(mix(c.red()), mix(c.green()), mix(c.blue()));
}

// The pixels of a lossy copy more than a little off the picture, in the
// blocks of 16 x 16 pixels (the JPEG encoder's) where the picture is one
// colour; -1 when there are too few such blocks to tell.
int flatDifferences(const QImage& picture, const QImage& copy) {
    int flatBlocks = 0, off = 0;
    for (int by = 0; by + 16 <= picture.height(); by += 16)
        for (int bx = 0; bx + 16 <= picture.width(); bx += 16) {
            bool uniform = true;
            for (int y = by; y < by + 16 && uniform; ++y)
                for (int x = bx; x < bx + 16 && uniform; ++x) uniform = picture.pixel(x, y) == picture.pixel(bx, by);
            if (!uniform) continue;
            ++flatBlocks;
            for (int y = by; y < by + 16; ++y)
                for (int x = bx; x < bx + 16; ++x)
                    if (!near(copy.pixelColor(x, y), picture.pixelColor(x, y), 4)) ++off;
        }
    return flatBlocks >= 50 ? off : -1;
}

// The share of pixels of picture that match (by isInk) for which the other
// picture has a matching pixel within radius.
template <class Ink>
double sharedInk(const QImage& picture, const QImage& other, Ink isInk, int radius) {
    long found = 0, total = 0;
    for (int y = kTop; y < kBottom; ++y)
        for (int x = kLeft; x < kRight; ++x) {
            if (!isInk(picture.pixelColor(x, y))) continue;
            ++total;
            bool match = false;
            for (int dy = -radius; dy <= radius && !match; ++dy)
                for (int dx = -radius; dx <= radius && !match; ++dx)
                    match = other.valid(x + dx, y + dy) && isInk(other.pixelColor(x + dx, y + dy));
            if (match) ++found;
        }
    return total > 0 ? static_cast<double>(found) / total : 0;
}

class ExportTest : public TarvikTest {
protected:
    void SetUp() override {
        TarvikTest::SetUp();
        ensureApplication();
        graf = make<IViGraf>(u"Tarvik.ViGraf");
        ASSERT_TRUE(graf);
        ASSERT_EQ(graf->QueryInterface(IGraphExport::IID, exporter.outVoid()), S_OK);
        folder = QString::fromStdString(qtest::makeTempDir("export"));
    }
    void TearDown() override { qtest::removeTree(folder.toStdString()); }

    QImage render(int w = 640, int h = 400) { return qhost::renderControl(graf.get(), w, h); }
    // Keeps a file for a person to look at when QUILLAN_SAVE_PICTURES names a folder.
    static void keep(const QByteArray& bytes, const char* name) {
        if (const char* dir = std::getenv("QUILLAN_SAVE_PICTURES")) {
            QFile file(QString::fromUtf8(dir) + "/" + name);
            if (file.open(QIODevice::WriteOnly)) file.write(bytes);
        }
    }
    void series(const std::vector<double>& x, const std::vector<double>& y) {
        graf->CreateSeries();
        LONG n = 0;
        graf->get_CountSeries(&n);
        graf->SetPoints(n - 1, static_cast<LONG>(x.size()), const_cast<double*>(x.data()),
                        const_cast<double*>(y.data()));
    }
    // An opaque red sine and a half-transparent blue cosine, with titles in
    // Greek letters, a subscript and a superscript.
    void twoCurves() {
        std::vector<double> x, y, y2;
        for (int i = 0; i <= 400; ++i) {
            x.push_back(i * 0.025);
            y.push_back(std::sin(i * 0.025) * 4 + 5);
            y2.push_back(std::cos(i * 0.05) * 3 + 4);
        }
        series(x, y);
        series(x, y2);
        graf->SetPropertySeries(0, 255, 0x0000FF);
        graf->SetPropertySeries(1, 128, 0xFF0000);
        put(graf.get(), u"X_axis", Variant(u"@LN@Time t@D@0@LN@ (s)"));
        put(graf.get(), u"Y_axis", Variant(u"@gn@a@LU@2@LN@ + @gN@b"));
    }
    QByteArray written(LONG format, LONG w = 0, LONG h = 0, HRESULT* status = nullptr) {
        ComPtr<IStream> stream;
        EXPECT_EQ(qrt::createMemoryStream(stream.out()), S_OK);
        const HRESULT hr = exporter->WritePicture(stream.get(), format, w, h);
        if (status) *status = hr;
        else EXPECT_EQ(hr, S_OK);
        std::string bytes;
        qrt::memoryStreamBytes(stream.get(), &bytes);
        return QByteArray::fromStdString(bytes);
    }
    std::u16string lastError() {
        std::u16string source, description;
        qrt::takeErrorInfo(source, description);
        return description;
    }
    QStringList filesInFolder() const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::AllDirs);
    }
    static qrt::Bstr bstr(const QString& s) { return qrt::Bstr(s.toStdU16String()); }

    ComPtr<IViGraf> graf;
    ComPtr<IGraphExport> exporter;
    QString folder;
};

const auto isRed = [](QColor c) { return c.red() > c.green() + 80 && c.red() > c.blue() + 80; };
const auto isBlue = [](QColor c) { return c.blue() > c.red() + 40 && c.blue() > c.green() + 40; };

TEST_F(ExportTest, PngIsTheWindowsPictureAndJpegItsLossyCopy) {
    twoCurves();
    const QImage shown = render();
    const QByteArray png = written(GraphPicturePng);
    keep(png, "export.png");
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(png, "PNG"));
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));

    // The JPEG: the same picture where it is flat, that is in the blocks of
    // 16 x 16 pixels the encoder works in that hold one colour.
    QImage jpeg;
    ASSERT_TRUE(jpeg.loadFromData(written(GraphPictureJpeg), "JPEG"));
    ASSERT_EQ(jpeg.size(), shown.size());
    EXPECT_EQ(flatDifferences(shown, jpeg), 0);

    // Another size is drawn afresh with that size's layout, exactly as the
    // window draws it at that size; the window's own picture stays.
    QImage larger;
    ASSERT_TRUE(larger.loadFromData(written(GraphPicturePng, 800, 500), "PNG"));
    QImage again;
    ASSERT_TRUE(again.loadFromData(written(GraphPicturePng), "PNG"));
    EXPECT_EQ(again.convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(larger.convertToFormat(QImage::Format_RGB32), render(800, 500).convertToFormat(QImage::Format_RGB32));
}

TEST_F(ExportTest, SvgHasOneLinePerSeriesInItsColourAndTheTitlesAsText) {
    twoCurves();
    render();
    const QByteArray svg = written(GraphPictureSvg);
    keep(svg, "export.svg");
    const SvgContent content = parseSvg(svg);
    ASSERT_TRUE(content.error.isEmpty()) << content.error.toStdString();

    std::vector<SvgShape> red, blue;
    for (const SvgShape& s : content.shapes) {
        if (s.stroke.compare(QLatin1String("#ff0000"), Qt::CaseInsensitive) == 0) red.push_back(s);
        if (s.stroke.compare(QLatin1String("#0000ff"), Qt::CaseInsensitive) == 0) blue.push_back(s);
    }
    ASSERT_EQ(red.size(), 1u);
    ASSERT_EQ(blue.size(), 1u);
    EXPECT_DOUBLE_EQ(red[0].strokeOpacity, 1.0);
    EXPECT_NEAR(blue[0].strokeOpacity, 128 / 255.0, 1e-3);
    // A whole curve, not a bitmap and not one element per segment: many
    // points in the one element.
    EXPECT_GT(red[0].data.count(QLatin1Char(' ')), 50);

    const QString text = content.texts.join(QLatin1Char('|'));
    for (const char16_t* piece : {u"Time t", u"0", u" (s)", u"\u03B1", u"2", u" + ", u"\u03B2"})
        EXPECT_TRUE(content.texts.contains(QString::fromUtf16(piece))) << QString::fromUtf16(piece).toStdString()
                                                                       << " in " << text.toStdString();
    // Tick labels are text too.
    EXPECT_TRUE(content.texts.contains(QStringLiteral("8"))) << text.toStdString();
}

TEST_F(ExportTest, SvgAndPdfDrawTheCurvesWhereThePictureHasThem) {
    twoCurves();
    const QImage shown = render();

    // The SVG as a viewer draws it.
    QSvgRenderer renderer(written(GraphPictureSvg));
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.viewBox(), QRect(0, 0, 640, 400));
    QImage svg(640, 400, QImage::Format_RGB32);
    svg.fill(Qt::white);
    {
        QPainter painter(&svg);
        renderer.render(&painter);
    }
    if (const char* dir = std::getenv("QUILLAN_SAVE_PICTURES")) svg.save(QString::fromUtf8(dir) + "/export-svg.png");
    EXPECT_GT(sharedInk(shown, svg, isRed, 1), 0.97);
    EXPECT_GT(sharedInk(svg, shown, isRed, 1), 0.97);
    EXPECT_GT(sharedInk(shown, svg, isBlue, 1), 0.97);
    // The frame where the picture has it: its left side one pixel before the plot.
    EXPECT_TRUE(near(svg.pixelColor(kLeft - 1, 200), overWhite(Qt::black, 80), 12));
    EXPECT_TRUE(near(svg.pixelColor(kLeft + 5, 200), Qt::white, 12));

    // The PDF as a reader draws it, when poppler's rasterizer is installed.
    const QByteArray pdf = written(GraphPicturePdf);
    keep(pdf, "export.pdf");
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty()) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    QFile file(folder + "/graph.pdf");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pdf);
    file.close();
    const std::string command = pdftoppm.toStdString() + " -r 96 -png -singlefile '" + folder.toStdString() +
                                "/graph.pdf' '" + folder.toStdString() + "/graph'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const QImage page(folder + "/graph.png");
    ASSERT_EQ(page.size(), QSize(640, 400));
    EXPECT_GT(sharedInk(shown, page, isRed, 1), 0.97);
    EXPECT_GT(sharedInk(page, shown, isRed, 1), 0.97);
    EXPECT_GT(sharedInk(shown, page, isBlue, 1), 0.97);
    EXPECT_TRUE(near(page.pixelColor(kLeft - 1, 200), overWhite(Qt::black, 80), 12));
}

TEST_F(ExportTest, VectorLinesAreCutAtThePlotAndBrokenAtGaps) {
    put(graf.get(), u"ViewAxis", 0);
    const double nan = std::nan("");
    series({0, 1, 2, 3, 4}, {1, 2, nan, 3, 4});  // two pieces
    series({5, 1e6}, {5, 5});                      // from the middle to far outside
    graf->SetPropertySeries(0, 255, 0x0000FF);
    graf->SetPropertySeries(1, 255, 0x00FF00);
    graf->SetBox_1(0, 0, 10, 10);
    render();
    const SvgContent content = parseSvg(written(GraphPictureSvg));
    ASSERT_TRUE(content.error.isEmpty());
    int lines = 0;
    for (const SvgShape& s : content.shapes) {
        if (s.stroke.isEmpty() || s.stroke == QLatin1String("none")) continue;
        ++lines;
        // Every coordinate inside the plot area.
        QString data = s.data;
        data.replace(QRegularExpression(QStringLiteral("[MLml]")), QStringLiteral(" "));
        const QStringList numbers = data.split(QRegularExpression(QStringLiteral("[ ,]+")), Qt::SkipEmptyParts);
        ASSERT_EQ(numbers.size() % 2, 0);
        for (qsizetype i = 0; i < numbers.size(); i += 2) {
            EXPECT_GE(numbers[i].toDouble(), kLeft);
            EXPECT_LE(numbers[i].toDouble(), kRight);
            EXPECT_GE(numbers[i + 1].toDouble(), kTop);
            EXPECT_LE(numbers[i + 1].toDouble(), kBottom);
        }
        if (s.stroke == QLatin1String("#ff0000")) {
            EXPECT_EQ(s.element, QLatin1String("path"));
            EXPECT_EQ(s.data.count(QLatin1Char('M')), 2);  // one element, two pieces
        }
    }
    EXPECT_EQ(lines, 2);
}

TEST_F(ExportTest, MarkersAreOneFilledPathOfSquaresCutAtThePlot) {
    put(graf.get(), u"ViewAxis", 0);
    series({0, 5, 10, 20}, {5, 5, 5, 5});  // the last point lies outside the box
    graf->SetPropertySeries(0, 200, 0x00FF00);
    graf->DrawPoints(0, 6);
    graf->SetBox_1(0, 0, 10, 10);
    const QByteArray svg = written(GraphPictureSvg, 640, 400);
    QXmlStreamReader xml(svg);
    QStringList filled;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("path"))
            filled << xml.attributes().value(QStringLiteral("d")).toString();
    int markers = 0;
    for (const QString& d : filled) markers = std::max(markers, static_cast<int>(d.count(QLatin1Char('M'))));
    // Three squares; the point at x = 20 lies outside the plot and has none.
    EXPECT_EQ(markers, 3);
    EXPECT_TRUE(svg.contains("fill=\"#00ff00\" fill-opacity=\"0.784314\"")) << svg.left(2000).toStdString();
}

TEST_F(ExportTest, TheAxisMultiplierIsWrittenAsText) {
    series({0, 1, 2, 3}, {0, 0.0004, 0.0007, 0.001});
    put(graf.get(), u"Y_axis", Variant(u"@LN@Current"));
    // No paint yet: a vector picture of a given size needs none.
    const SvgContent content = parseSvg(written(GraphPictureSvg, 640, 400));
    for (const char* piece : {"Current", "  x", "10", "-4"})
        EXPECT_TRUE(content.texts.contains(QString::fromLatin1(piece))) << piece;
}

TEST_F(ExportTest, FilesAreWrittenWholeOrNotAtAll) {
    twoCurves();
    render();
    // Every format to a file; nothing else is left in the folder.
    const struct {
        LONG format;
        const char* name;
        QByteArray magic;
    } formats[] = {{GraphPictureJpeg, "g.jpg", "\xFF\xD8\xFF"},
                   {GraphPicturePng, "g.png", "\x89PNG"},
                   {GraphPictureSvg, "g.svg", "<?xml"},
                   {GraphPicturePdf, "g.pdf", "%PDF-"}};
    for (const auto& f : formats) {
        EXPECT_EQ(exporter->ExportPicture(bstr(folder + "/" + f.name), f.format, 0, 0), S_OK) << f.name;
        QFile file(folder + "/" + f.name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().startsWith(f.magic)) << f.name;
    }
    EXPECT_EQ(filesInFolder(), QStringList({"g.jpg", "g.pdf", "g.png", "g.svg"}));

    // Failures say why and name the file; the old file stays as it was.
    QFile old(folder + "/g.png");
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    const QByteArray before = old.readAll();
    old.close();
    EXPECT_EQ(exporter->ExportPicture(bstr(folder + "/g.png"), 7, 0, 0), E_INVALIDARG);
    EXPECT_NE(lastError().find(u"unknown picture format 7"), std::u16string::npos);
    EXPECT_EQ(exporter->ExportPicture(bstr(folder + "/g.png"), GraphPicturePng, 0, 20), E_INVALIDARG);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), before);

    const QString missing = folder + "/no/such/folder/g.svg";
    EXPECT_TRUE(FAILED(exporter->ExportPicture(bstr(missing), GraphPictureSvg, 0, 0)));
    const std::u16string error = lastError();
    EXPECT_NE(error.find(missing.toStdU16String()), std::u16string::npos);
    EXPECT_NE(error.find(u"No such file or directory"), std::u16string::npos) << QString::fromStdU16String(error).toStdString();

    // A folder where the file should go is left alone.
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("taken.pdf")));
    EXPECT_TRUE(FAILED(exporter->ExportPicture(bstr(folder + "/taken.pdf"), GraphPicturePdf, 0, 0)));
    EXPECT_TRUE(QFileInfo(folder + "/taken.pdf").isDir());
    EXPECT_EQ(exporter->ExportPicture(nullptr, GraphPicturePdf, 0, 0), E_INVALIDARG);
    EXPECT_EQ(filesInFolder(), QStringList({"g.jpg", "g.pdf", "g.png", "g.svg", "taken.pdf"}));
    EXPECT_EQ(exporter->WritePicture(nullptr, GraphPicturePng, 0, 0), E_POINTER);
}

TEST_F(ExportTest, NothingDrawnYetNeedsASize) {
    twoCurves();
    HRESULT hr = S_OK;
    EXPECT_TRUE(written(GraphPicturePng, 0, 0, &hr).isEmpty());
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_NE(lastError().find(u"has not been drawn yet"), std::u16string::npos);
    QImage sized;
    ASSERT_TRUE(sized.loadFromData(written(GraphPicturePng, 320, 200), "PNG"));
    EXPECT_EQ(sized.size(), QSize(320, 200));
    EXPECT_EQ(sized.convertToFormat(QImage::Format_RGB32), render(320, 200).convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace tarvik_test
