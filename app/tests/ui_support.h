// The main window as the widget tests use it: a real window with the real
// graph and editor controls on the off-screen platform, message boxes
// answered by the test, and scripts written into a private folder.
#pragma once

#include "app/ui/main_frame.h"
#include "app/ui/message_box.h"
#include "app/ui/recent_files.h"
#include "app/ui/tab_view.h"
#include "runtime/registry.h"
#include "runtime/testing/dispatch_calls.h"
#include "runtime/testing/qt_application.h"
#include "runtime/testing/test_support.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <QTabBar>
#include <QUrl>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

// Readable failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

// Records every box the windows show and answers it: with the next queued
// answer, else with the box's default button (OK when it has none).
struct RecordingSeam final : quillan::ui::MessageSeam {
    std::vector<quillan::ui::MessageRequest> messages;
    std::vector<quillan::ui::TextRequest> prompts;
    std::deque<QMessageBox::StandardButton> answers;
    std::deque<QString> texts;  // a null text cancels the prompt
    std::vector<quillan::ui::FileRequest> fileRequests;
    std::deque<QString> files;  // empty cancels (as does an empty queue)
    std::deque<QString> filters;  // the filter chosen with each file, if any
    // What the user does in each of the program's own dialogs shown next
    // (returns the dialog's result); with none left, a dialog is accepted
    // as it stands.
    std::deque<std::function<int(QDialog&)>> dialogActions;

    QMessageBox::StandardButton ask(QWidget*, const quillan::ui::MessageRequest& request) override {
        messages.push_back(request);
        if (!answers.empty()) {
            const auto answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return request.defaultButton != QMessageBox::NoButton ? request.defaultButton : QMessageBox::Ok;
    }
    std::optional<QString> askText(QWidget*, const quillan::ui::TextRequest& request) override {
        prompts.push_back(request);
        if (texts.empty()) return request.defaultText;
        const QString text = texts.front();
        texts.pop_front();
        if (text.isNull()) return std::nullopt;
        return text;
    }
    QString askFileName(QWidget*, const quillan::ui::FileRequest& request) override {
        fileRequests.push_back(request);
        if (request.selectedFilter && !filters.empty()) {
            *request.selectedFilter = filters.front();
            filters.pop_front();
        }
        if (files.empty()) return {};
        const QString file = files.front();
        files.pop_front();
        return file;
    }
    // The program's own dialogs: what each showed, answered with Accepted.
    struct DialogSeen {
        QString title;
        QStringList texts;      // the labels' texts, in order
        bool hasPicture = false;  // a label shows a picture
        QStringList buttons;
        QPixmap look;           // the dialog as it was drawn
    };
    std::vector<DialogSeen> dialogs;
    std::vector<QUrl> urls;
    bool urlsOpen = true;  // what opening a link answers

    int runDialog(QDialog& dialog) override {
        DialogSeen seen;
        seen.title = dialog.windowTitle();
        dialog.adjustSize();
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) seen.texts << label->text();
            if (!label->pixmap().isNull()) seen.hasPicture = true;
        }
        for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) seen.buttons << button->text();
        seen.look = dialog.grab();
        // A picture of each dialog for a person to look at.
        if (const QByteArray folder = qgetenv("QUILLAN_UI_SHOTS"); !folder.isEmpty())
            seen.look.save(QString::fromLocal8Bit(folder) + QStringLiteral("/dialog-") + seen.title + ".png");
        dialogs.push_back(seen);
        if (dialogActions.empty()) return QDialog::Accepted;
        const std::function<int(QDialog&)> action = std::move(dialogActions.front());
        dialogActions.pop_front();
        return action(dialog);
    }
    bool openUrl(const QUrl& url) override {
        urls.push_back(url);
        return urlsOpen;
    }
    QStringList allTexts() const {
        QStringList all;
        for (const auto& m : messages) all << m.text;
        return all;
    }
};

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::ensureApplication();
        for (const char* name : {"Tarvik", "Sumtrel", "JScript", "VBScript", "Lexora"}) qtest::registerLibrary(name);
        m_folder = qtest::makeTempDir("ui");
        // Each test starts with no recent files of the tests before.
        qrt::registry::deleteTree(qrt::registry::Hive::CurrentUser, quillan::ui::kRecentFilesKey);
        m_previousSeam = quillan::ui::setMessageSeam(&seam);
        frame = std::make_unique<quillan::ui::CMainFrame>();
        QString error;
        ASSERT_TRUE(frame->createControls(error)) << error.toStdString();
        frame->resize(1100, 700);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    void TearDown() override {
        frame.reset();
        quillan::ui::setMessageSeam(m_previousSeam);
        qtest::removeTree(m_folder);
    }

    QString write(const std::string& name, const std::string& text) {
        const std::string path = m_folder + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return QString::fromStdString(path);
    }
    std::string read(const QString& path) {
        std::ifstream in(path.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A click on a tab, as the user makes it.
    static void clickTab(quillan::ui::CTabView* view, int index) {
        QTabBar* bar = view->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
    // Saves a picture of the window when QUILLAN_UI_SHOTS names a folder.
    void shot(const char* name) {
        const QByteArray folder = qgetenv("QUILLAN_UI_SHOTS");
        if (folder.isEmpty()) return;
        QApplication::processEvents();
        frame->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name) + ".png");
    }

    RecordingSeam seam;
    std::unique_ptr<quillan::ui::CMainFrame> frame;
    std::string m_folder;

private:
    quillan::ui::MessageSeam* m_previousSeam = nullptr;
};

// A VBScript that draws two series.
inline const char* kDrawingScript =
    "Graf.CreateSeries\n"
    "Graf.CreateSeries\n"
    "Dim i\n"
    "For i = 0 To 50\n"
    "    Graf.AddPointToSeries 0, i, Sin(i / 5)\n"
    "    Graf.AddPointToSeries 1, i, Cos(i / 5)\n"
    "Next\n"
    "Graf.SetPropertySeries 1, 255, Graf.ColorRGB(220, 30, 30)\n"
    "Graf.ReDrawGraph\n"
    "Sub Again\n"
    "    Graf.CreateSeries\n"
    "End Sub\n";
