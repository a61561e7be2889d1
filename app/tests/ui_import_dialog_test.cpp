// The "Functions" dialog that offers the snippets: what it lists and shows,
// and what it gives back for each way of closing it.
#include "app/ui/import_dialog.h"
#include "app/ui/message_box.h"
#include "runtime/testing/qt_application.h"
#include "runtime/testing/test_support.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

using quillan::ui::CImport;

// Answers boxes with OK and runs the dialogs through a test's hands.
struct HandSeam final : quillan::ui::MessageSeam {
    std::vector<quillan::ui::MessageRequest> messages;
    std::function<void(QDialog&)> hands;
    int dialogs = 0;

    QMessageBox::StandardButton ask(QWidget*, const quillan::ui::MessageRequest& request) override {
        messages.push_back(request);
        return QMessageBox::Ok;
    }
    std::optional<QString> askText(QWidget*, const quillan::ui::TextRequest&) override { return std::nullopt; }
    QString askFileName(QWidget*, const quillan::ui::FileRequest&) override { return {}; }
    int runDialog(QDialog& dialog) override {
        ++dialogs;
        dialog.show();
        if (hands) hands(dialog);
        return dialog.result();
    }
    bool openUrl(const QUrl&) override { return false; }
};

class ImportDialog : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::ensureApplication();
        m_data = qtest::makeTempDir("import");
        m_folder = m_data + "/Include/VBScript";
        std::filesystem::create_directories(m_folder);
        std::filesystem::create_directories(m_data + "/Include/JScript");
        write("Plot.i", "// Plot a sine\r\nGraf.CreateSeries\r\n");
        write("Bare.i", "Graf.Clear\r\n");
        m_previous = quillan::ui::setMessageSeam(&seam);
    }
    void TearDown() override {
        quillan::ui::setMessageSeam(m_previous);
        qtest::removeTree(m_data);
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(m_folder + "/" + name, std::ios::binary) << text;
    }
    QString folder() const { return QString::fromStdString(m_folder); }
    QString data() const { return QString::fromStdString(m_data); }
    static void choose(CImport& dialog, const QString& name) {
        const auto items = dialog.names()->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        dialog.names()->setCurrentItem(items.front());
    }

    HandSeam seam;
    std::string m_data, m_folder;

private:
    quillan::ui::MessageSeam* m_previous = nullptr;
};

TEST_F(ImportDialog, ShowsTheNamesAndTheDescriptionOfTheChosenSnippet) {
    CImport dialog(folder(), {"Bare", "Plot"});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Functions"));
    EXPECT_EQ(dialog.selectButton()->text(), QStringLiteral("Select"));
    EXPECT_TRUE(dialog.description()->isReadOnly());
    ASSERT_EQ(dialog.names()->count(), 2);
    choose(dialog, "Plot");
    EXPECT_EQ(dialog.description()->toPlainText(), QStringLiteral("Plot a sine"));
    if (const QByteArray shots = qgetenv("QUILLAN_UI_SHOTS"); !shots.isEmpty())
        dialog.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/import.png"));
    // A snippet without a description line clears the box.
    choose(dialog, "Bare");
    EXPECT_EQ(dialog.description()->toPlainText(), QString());
}

TEST_F(ImportDialog, SelectAndDoubleClickGiveTheWholeFile) {
    {
        CImport dialog(folder(), {"Bare", "Plot"});
        dialog.show();
        choose(dialog, "Plot");
        QTest::mouseClick(dialog.selectButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        ASSERT_TRUE(dialog.snippetText().has_value());
        EXPECT_EQ(*dialog.snippetText(), QStringLiteral("// Plot a sine\r\nGraf.CreateSeries\r\n"));
    }
    {
        CImport dialog(folder(), {"Bare", "Plot"});
        dialog.show();
        choose(dialog, "Bare");
        QListWidget* list = dialog.names();
        const QPoint at = list->visualItemRect(list->currentItem()).center();
        // A double click is a press, a release and the double-click press.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        ASSERT_TRUE(dialog.snippetText().has_value());
        EXPECT_EQ(*dialog.snippetText(), QStringLiteral("Graf.Clear\r\n"));
    }
}

TEST_F(ImportDialog, SelectWithoutAChoiceOrWithAVanishedFileGivesNothing) {
    {
        CImport dialog(folder(), {"Bare", "Plot"});
        dialog.show();
        QTest::mouseClick(dialog.selectButton(), Qt::LeftButton);
        EXPECT_FALSE(dialog.snippetText().has_value());
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        CImport dialog(folder(), {"Gone"});
        dialog.show();
        choose(dialog, "Gone");
        QTest::mouseClick(dialog.selectButton(), Qt::LeftButton);
        // The user is told, and may choose another.
        EXPECT_FALSE(dialog.snippetText().has_value());
        EXPECT_TRUE(dialog.isVisible());
        ASSERT_EQ(seam.messages.size(), 1u);
        EXPECT_TRUE(seam.messages[0].text.contains(QStringLiteral("Gone.i"))) << seam.messages[0].text.toStdString();
    }
}

TEST_F(ImportDialog, RunImportDialogListsTheLanguagesFolderAndGivesTextThatRuns) {
    QStringList listed;
    seam.hands = [&](QDialog& shown) {
        auto& dialog = dynamic_cast<CImport&>(shown);
        for (int i = 0; i < dialog.names()->count(); ++i) listed << dialog.names()->item(i)->text();
        choose(dialog, "Plot");
        dialog.selectButton()->click();
    };
    // VBScript gets the description line as a VBScript comment.
    auto text = quillan::ui::runImportDialog(nullptr, 2, data());
    EXPECT_EQ(listed, (QStringList{"Bare", "Plot"}));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, QStringLiteral("' Plot a sine\r\nGraf.CreateSeries\r\n"));

    // A language without snippets shows an empty list; nothing comes back.
    seam.hands = [&](QDialog& shown) {
        EXPECT_EQ(dynamic_cast<CImport&>(shown).names()->count(), 0);
        dynamic_cast<CImport&>(shown).selectButton()->click();
    };
    EXPECT_FALSE(quillan::ui::runImportDialog(nullptr, 1, data()).has_value());

    // Neither language: no dialog at all.
    const int shown = seam.dialogs;
    EXPECT_FALSE(quillan::ui::runImportDialog(nullptr, 0, data()).has_value());
    EXPECT_EQ(seam.dialogs, shown);

    // An empty snippet adds nothing.
    write("Empty.i", "");
    seam.hands = [&](QDialog& dialog) {
        choose(dynamic_cast<CImport&>(dialog), "Empty");
        dynamic_cast<CImport&>(dialog).selectButton()->click();
    };
    EXPECT_FALSE(quillan::ui::runImportDialog(nullptr, 2, data()).has_value());
}

}  // namespace
