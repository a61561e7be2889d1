// --export in every format the program writes, chosen by the extension, and
// the usage error for the others.
#include "app/tests/batch_support.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using BatchExport = BatchFixture;

const char* const kTwoCurves =
    "Graf.CreateSeries\n"
    "Graf.CreateSeries\n"
    "For i = 0 To 400\n"
    "    Graf.AddPointToSeries 0, i / 40, Sin(i / 40) * 4 + 5\n"
    "    Graf.AddPointToSeries 1, i / 40, Cos(i / 20) * 3 + 4\n"
    "Next\n"
    "Graf.SetPropertySeries 0, 255, RGB(255, 0, 0)\n"
    "Graf.SetPropertySeries 1, 128, RGB(0, 0, 255)\n"
    "Graf.SetAxisTitles \"@LN@Time t@D@0\", \"@gn@a@LU@2\"\n"
    "Graf.ReDrawGraph\n";

QByteArray fileBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(BatchExport, TheExtensionPicksTheFormat) {
    write("curves.vbs", kTwoCurves);
    for (const char* name : {"graph.jpg", "graph.png", "Graph.PNG", "graph.svg", "graph.pdf"}) {
        SCOPED_TRACE(name);
        const Outcome outcome = quillan(m_folder, std::string("--run curves.vbs --size 640x400 --export ") + name);
        EXPECT_EQ(outcome.status, 0) << outcome.output;
    }
    EXPECT_EQ(QImage(QString::fromStdString(m_folder + "/graph.jpg")).size(), QSize(640, 400));

    // PNG: the picture at the window's size, the curve in its pure colour
    // (the library's tests compare it with the JPEG pixel for pixel); the
    // extension is read in any case.
    QImage png;
    ASSERT_TRUE(png.loadFromData(fileBytes(m_folder + "/graph.png"), "PNG"));
    ASSERT_EQ(png.size(), QSize(640, 400));
    EXPECT_EQ(fileBytes(m_folder + "/Graph.PNG"), fileBytes(m_folder + "/graph.png"));
    long red = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 640; ++x)
            if (png.pixelColor(x, y) == QColor(255, 0, 0)) ++red;
    EXPECT_GT(red, 400);

    // SVG: XML with the curves as lines and the titles as text.
    QXmlStreamReader xml(fileBytes(m_folder + "/graph.svg"));
    int lines = 0;
    QStringList texts;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("polyline") || xml.name() == QLatin1String("path")) ++lines;
        if (xml.name() == QLatin1String("text")) texts << xml.readElementText();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GE(lines, 2);
    EXPECT_TRUE(texts.contains(QStringLiteral("Time t")));
    EXPECT_TRUE(texts.contains(QString(QChar(0x03B1))));

    // PDF: a document a reader draws at the picture's size.
    EXPECT_TRUE(fileBytes(m_folder + "/graph.pdf").startsWith("%PDF-"));
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty()) GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    const std::string command = "cd '" + m_folder + "' && '" + pdftoppm.toStdString() +
                                "' -r 96 -png -singlefile graph.pdf page";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const QImage page(QString::fromStdString(m_folder + "/page.png"));
    EXPECT_EQ(page.size(), QSize(640, 400));
    EXPECT_GT(inkShare(page), 0.02);
}

TEST_F(BatchExport, OtherExtensionsAreUsageErrors) {
    write("curves.vbs", kTwoCurves);
    for (const char* name : {"graph.gif", "graph", "graph.svg.txt", "folder.png/graph"}) {
        SCOPED_TRACE(name);
        const Outcome outcome = quillan(m_folder, std::string("--run curves.vbs --export ") + name);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.output.find(".jpg, .jpeg, .png, .svg or .pdf"), std::string::npos) << outcome.output;
        EXPECT_NE(outcome.output.find(name), std::string::npos) << outcome.output;
    }
    // Nothing was written: the script is all the folder holds.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder), std::filesystem::directory_iterator()), 1);

    // A folder that does not exist: the reason, and no file.
    const Outcome outcome = quillan(m_folder, "--run curves.vbs --export /nonexistent/folder/graph.svg");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.output.find("cannot write /nonexistent/folder/graph.svg"), std::string::npos) << outcome.output;

    const Outcome help = quillan(m_folder, "--help");
    EXPECT_NE(help.output.find(".svg or .pdf"), std::string::npos) << help.output;
}

}  // namespace
