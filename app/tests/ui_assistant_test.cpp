// The Assistant: reading its texts (sections, members, descriptions), the
// resource file the build makes, and the page that shows them.
#include "app/core/graf.h"
#include "app/ui/assistant_page.h"
#include "runtime/activation.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/qt_application.h"
#include "runtime/testing/test_support.h"

#include <QFile>
#include <QListWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>

namespace {

using quillan::ui::AssistantText;

const char* const kMembers =
    "%%Graf%%%\n"
    "  AddPointToSeries \r\n"
    "\n"
    "Clear\n"
    "#AddPointToSeries#Graf.AddPointToSeries series, x, y\nAppends a point; see Clear.###\n"
    "#Clear#Removes every series.###\n"
    "%%Bare%%%\n"
    "One\n"
    "Two\n"
    "%%Broken%%%\n"
    "Open\n"
    "#Open#no end\n"
    "%%Other%%%\n"
    "Clear\n"
    "#Clear#The other object's Clear.###\n";

TEST(AssistantText, ObjectListsAreTrimmedLinesWithoutEmptyOnes) {
    EXPECT_EQ(AssistantText::parseObjects(QStringLiteral("  Graf \r\n\r\nMath\n  \nRegExp")),
              (QStringList{"Graf", "Math", "RegExp"}));
    EXPECT_TRUE(AssistantText::parseObjects(QString()).isEmpty());
}

TEST(AssistantText, MembersAreTheLinesOfTheObjectsSectionBeforeItsDescriptions) {
    const AssistantText text({}, QString::fromLatin1(kMembers));
    EXPECT_EQ(text.members(QStringLiteral("Graf")), (QStringList{"AddPointToSeries", "Clear"}));
    EXPECT_EQ(text.members(QStringLiteral("  Graf ")), (QStringList{"AddPointToSeries", "Clear"}));
    // A section without descriptions ends where the next one starts.
    EXPECT_EQ(text.members(QStringLiteral("Bare")), (QStringList{"One", "Two"}));
    EXPECT_TRUE(text.members(QStringLiteral("Missing")).isEmpty());
    EXPECT_TRUE(text.members(QStringLiteral("Gra")).isEmpty());
    EXPECT_TRUE(text.members(QString()).isEmpty());
}

TEST(AssistantText, DescriptionsAreFoundInTheObjectsOwnSection) {
    const AssistantText text({}, QString::fromLatin1(kMembers));
    EXPECT_EQ(text.description(QStringLiteral("Graf"), QStringLiteral("AddPointToSeries")),
              QStringLiteral("Graf.AddPointToSeries series, x, y\nAppends a point; see Clear."));
    EXPECT_EQ(text.description(QStringLiteral("Graf"), QStringLiteral("Clear")), QStringLiteral("Removes every series."));
    EXPECT_EQ(text.description(QStringLiteral("Other"), QStringLiteral("Clear")),
              QStringLiteral("The other object's Clear."));
    // No entry, no end mark, or an entry only in another section: nothing.
    EXPECT_EQ(text.description(QStringLiteral("Bare"), QStringLiteral("One")), QString());
    EXPECT_EQ(text.description(QStringLiteral("Broken"), QStringLiteral("Open")), QString());
    EXPECT_EQ(text.description(QStringLiteral("Graf"), QStringLiteral("Open")), QString());
    EXPECT_EQ(text.description(QStringLiteral("Missing"), QStringLiteral("Clear")), QString());
}

class AssistantResources : public ::testing::Test {
protected:
    void SetUp() override { qtest::ensureApplication(); }
    // The file the build made in its data folder.
    static QString builtFile() {
        return QString::fromStdString(qtest::binaryDir()) + QStringLiteral("/../share/quillan/assistant.rcc");
    }
};

TEST_F(AssistantResources, TheBuiltFileHoldsBothLanguagesAndIsLetGoAfterReading) {
    for (const LONG language : {1, 2}) {
        SCOPED_TRACE(language);
        const AssistantText text = AssistantText::load(builtFile(), language);
        const QStringList objects = text.objects();
        for (const char* name : {"Graf", "Sumtrel.MathClass", "Sumtrel.complex", "Tarvik.Series", "Tarvik.SeriesHolder",
                                 "Scripting.FileSystemObject", "Scripting.Dictionary", "RegExp"})
            EXPECT_TRUE(objects.contains(QLatin1String(name))) << name;
        // Every object has members, and every member a description.
        for (const QString& object : objects) {
            const QStringList members = text.members(object);
            EXPECT_FALSE(members.isEmpty()) << object.toStdString();
            for (const QString& member : members)
                EXPECT_FALSE(text.description(object, member).isEmpty())
                    << object.toStdString() << "." << member.toStdString();
        }
    }
    EXPECT_TRUE(AssistantText::load(builtFile(), 2).objects().contains(QStringLiteral("Err")));
    EXPECT_TRUE(AssistantText::load(builtFile(), 1).objects().contains(QStringLiteral("Math")));
    EXPECT_FALSE(QFile::exists(QStringLiteral(":/OBJECTS/131")));
    EXPECT_FALSE(QFile::exists(QStringLiteral(":/VBSCRIPT/133")));
}

TEST_F(AssistantResources, MissingFilesResourcesOrLanguagesGiveEmptyTexts) {
    const std::string folder = qtest::makeTempDir("assistant");
    const QString missing = QString::fromStdString(folder + "/missing.rcc");
    const QString junk = QString::fromStdString(folder + "/junk.rcc");
    std::ofstream(junk.toStdString(), std::ios::binary) << "not a resource file";
    for (const QString& file : {missing, junk}) {
        const AssistantText text = AssistantText::load(file, 2);
        EXPECT_TRUE(text.objects().isEmpty());
        EXPECT_TRUE(text.memberText().isEmpty());
    }
    EXPECT_TRUE(AssistantText::load(builtFile(), 0).objects().isEmpty());
    EXPECT_TRUE(AssistantText::load(builtFile(), 3).memberText().isEmpty());
    qtest::removeTree(folder);
}

// Each member the Assistant names for Graf and the creatable objects is a
// member the object answers to, and Graf's list is complete.
TEST_F(AssistantResources, TheListedMembersExist) {
    for (const char* library : {"Tarvik", "Sumtrel", "Scripting"}) qtest::registerLibrary(library);
    for (const LONG language : {1, 2}) {
        const AssistantText text = AssistantText::load(builtFile(), language);
        QStringList graf;
        for (const auto& member : quillan::Graf::dispatchTable().members())
            if (!graf.contains(QString::fromStdU16String(member.name))) graf << QString::fromStdU16String(member.name);
        QStringList listed = text.members(QStringLiteral("Graf"));
        graf.sort(Qt::CaseInsensitive);
        listed.sort(Qt::CaseInsensitive);
        EXPECT_EQ(listed, graf);
        for (const char* progId : {"Sumtrel.MathClass", "Sumtrel.complex", "Tarvik.Series", "Tarvik.SeriesHolder",
                                   "Scripting.FileSystemObject", "Scripting.Dictionary"}) {
            SCOPED_TRACE(progId);
            qrt::ComPtr<IDispatch> object;
            ASSERT_EQ(qrt::createObject(QString::fromLatin1(progId).toStdU16String(), object), S_OK);
            for (const QString& member : text.members(QLatin1String(progId))) {
                if (member == QLatin1String("CreateObject") || member == QLatin1String("new ActiveXObject")) continue;
                std::u16string name = member.toStdU16String();
                LPOLESTR names[] = {name.data()};
                DISPID id = 0;
                EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << member.toStdString();
            }
        }
    }
}

// The editor's completions are the Assistant's members, call forms and
// descriptions, in lines of four fields.
TEST_F(AssistantResources, TheCompletionListIsMadeOfTheMemberTexts) {
    for (const LONG language : {1, 2}) {
        SCOPED_TRACE(language);
        const AssistantText text = AssistantText::load(builtFile(), language);
        const QStringList lines = text.completionList().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        int graf = 0;
        for (const QString& line : lines) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            ASSERT_EQ(fields.size(), 4) << line.toStdString();
            EXPECT_FALSE(fields[1].isEmpty());
            EXPECT_FALSE(fields[0].contains(QLatin1Char(' '))) << "sections of words are global";
            graf += fields[0] == QLatin1String("Graf");
        }
        EXPECT_EQ(graf, text.members(QStringLiteral("Graf")).size());
        EXPECT_TRUE(lines.contains(QStringLiteral("\tGraf\t\t"))) << "Graf is a word that stands anywhere";
        EXPECT_FALSE(lines.contains(QStringLiteral("\tScripting.Dictionary\t\t")));
        const auto entry = [&](const QString& start) {
            for (const QString& line : lines)
                if (line.startsWith(start)) return line;
            return QString();
        };
        EXPECT_TRUE(entry(QStringLiteral("Graf\tAddPointToSeries\t")).contains(QStringLiteral("\tGraf.AddPointToSeries")));
        EXPECT_FALSE(entry(QStringLiteral("Scripting.Dictionary\tExists\t")).isEmpty());
        EXPECT_TRUE(entry(QStringLiteral("Scripting.Dictionary\tCreateObject\t")).isEmpty()) << "not a member";
    }
    const QString vbs = AssistantText::load(builtFile(), 2).completionList();
    EXPECT_TRUE(vbs.contains(QStringLiteral("Graf\tAddPointToSeries\tGraf.AddPointToSeries series, x, y\tAppends")));
    EXPECT_TRUE(vbs.contains(QStringLiteral("\n\tSin\t"))) << "the math functions stand anywhere";
    EXPECT_TRUE(vbs.contains(QStringLiteral("\n\tSelect Case\t"))) << "as do the statements";
    EXPECT_TRUE(AssistantText::load(builtFile(), 1).completionList().contains(QStringLiteral("\nMath\tsqrt\t")));
}

class AssistantPage : public AssistantResources {
protected:
    void select(QListWidget* list, const QString& text) {
        const auto items = list->findItems(text, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << text.toStdString();
        list->setCurrentItem(items.front());
    }
};

TEST_F(AssistantPage, ObjectsMembersAndADescriptionInItsFormat) {
    quillan::ui::CAssistantPage page;
    page.setResourceFile(builtFile());
    page.setLanguage(1);
    ASSERT_GT(page.objects()->count(), 0);
    EXPECT_EQ(page.objects()->item(0)->text(), QStringLiteral("Graf"));
    select(page.objects(), QStringLiteral("Graf"));
    select(page.members(), QStringLiteral("AddPointToSeries"));
    const QString shown = page.description()->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Graf.AddPointToSeries(series, x, y);"))) << shown.toStdString();
    EXPECT_TRUE(page.description()->isReadOnly());
    // Every character of the box has the description's format.
    for (QTextBlock block = page.description()->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            EXPECT_EQ(format.fontFamilies().toStringList(), QStringList{"Courier New"});
            EXPECT_EQ(format.fontPointSize(), 10.0);
            EXPECT_FALSE(format.font().bold());
            EXPECT_FALSE(format.fontItalic());
            EXPECT_FALSE(format.fontUnderline());
            EXPECT_FALSE(format.fontStrikeOut());
            EXPECT_TRUE(format.fontFixedPitch());
            EXPECT_EQ(format.foreground().color(), QColor(10, 20, 100));
        }
    }
    if (const QByteArray shots = qgetenv("QUILLAN_UI_SHOTS"); !shots.isEmpty()) {
        page.resize(300, 600);
        page.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/assistant.png"));
    }
    // Another object replaces the members and clears the description.
    select(page.objects(), QStringLiteral("Math"));
    EXPECT_TRUE(page.description()->toPlainText().isEmpty());
    select(page.members(), QStringLiteral("sqrt"));
    EXPECT_TRUE(page.description()->toPlainText().startsWith(QStringLiteral("Math.sqrt(x)")));
}

TEST_F(AssistantPage, ChangingTheLanguageReloadsAndAMissingFileEmpties) {
    quillan::ui::CAssistantPage page;
    page.setResourceFile(builtFile());
    page.setLanguage(2);
    select(page.objects(), QStringLiteral("Err"));
    ASSERT_GT(page.members()->count(), 0);
    select(page.members(), QStringLiteral("Number"));

    page.setLanguage(1);
    EXPECT_EQ(page.language(), 1);
    EXPECT_FALSE(page.objects()->findItems(QStringLiteral("Err"), Qt::MatchExactly).size());
    EXPECT_EQ(page.members()->count(), 0);
    EXPECT_TRUE(page.description()->toPlainText().isEmpty());
    select(page.objects(), QStringLiteral("Graf"));
    select(page.members(), QStringLiteral("GetBox"));
    EXPECT_TRUE(page.description()->toPlainText().contains(QStringLiteral("In JScript the variables are not written")));

    page.setResourceFile(QStringLiteral("/nonexistent/assistant.rcc"));
    page.setLanguage(2);
    EXPECT_EQ(page.objects()->count(), 0);
    EXPECT_EQ(page.members()->count(), 0);
}

TEST_F(AssistantPage, ThePageStartsWithVBScriptFromTheDataFolder) {
    quillan::ui::CAssistantPage page;
    EXPECT_EQ(page.language(), 2);
    EXPECT_FALSE(page.objects()->findItems(QStringLiteral("Err"), Qt::MatchExactly).isEmpty());
}

}  // namespace
