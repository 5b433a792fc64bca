// The file prompts met through an X server, as a user meets them: the keys come from another X
// client (xdotool), so that the server's own keyboard focus decides where they go. No window
// manager runs (accessibility/with-atspi.sh starts a bare Xvfb): the terminal alone has to hand
// the keyboard back to its window when a prompt closes.

#include "app/frmMain.h"
#include "support/Scenario.h"
#include "support/TerminalBench.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// How long the window may take to handle what xdotool typed: each key of a path is handled on
// its own, and the completion lists the folder and shows or hides its list for many of them.
// Under the sanitizers on a busy machine a typed path took more than five seconds.
constexpr int kTypedMs = 30000;

bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// The prompt is up, and what is typed goes into its file-name box.
bool promptHasKeyboard()
{
    return waitUntil(
        [] {
            return onGui([] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                return dialog && QApplication::focusWidget() ==
                                     dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            });
        },
        kTypedMs);
}

// Nothing but the window is on screen, and `control` has the keyboard.
bool windowHasKeyboard(frmMain& w, QWidget* control)
{
    return waitUntil(
        [&] {
            return onGui([&] {
                QWidgetList shown = QApplication::topLevelWidgets();
                shown.removeIf([](const QWidget* widget) { return !widget->isVisible(); });
                return shown == QWidgetList{&w} && QApplication::focusWidget() == control;
            });
        },
        kTypedMs);
}

} // namespace

class PromptKeyboardTest : public QObject {
    Q_OBJECT
private slots:
    void keyboardComesBackAfterEachPrompt();
    void folderThenName();
};

void PromptKeyboardTest::keyboardComesBackAfterEachPrompt()
{
    TerminalBench bench;
    QTemporaryDir dir;
    const QString existing = dir.filePath("existing.txt");
    const QString saved = dir.filePath("saved.txt");
    QVERIFY(QFile(existing).open(QIODevice::WriteOnly));
    bench.w.chkStream->setFocus();
    runScenario(bench.w, [&] {
        // Streaming on, into an existing file typed in full: the name its completion lists.
        QVERIFY(xdotool({"key", "space"}));
        QVERIFY(promptHasKeyboard());
        QVERIFY(xdotool({"type", existing}));
        QVERIFY(xdotool({"key", "Return"}));
        QVERIFY(windowHasKeyboard(bench.w, bench.w.chkStream));
        QVERIFY(xdotool({"key", "alt+n"}));
        QVERIFY(waitUntil([&] { return isConnected(bench.w); }));
        QVERIFY(xdotool({"key", "alt+n"}));
        QVERIFY(waitUntil([&] { return onGui([&] { return bench.w.cmdSave->isEnabled(); }); }));
        // Save, typing another path over the name the prompt offers.
        QWidget* const hadKeyboard = onGui([] { return QApplication::focusWidget(); });
        QVERIFY(xdotool({"key", "alt+a"}));
        QVERIFY(promptHasKeyboard());
        QVERIFY(xdotool({"type", saved}));
        QVERIFY(xdotool({"key", "Return"}));
        QTRY_COMPARE_WITH_TIMEOUT(bench.messages.last().text, "The data are in " + saved, kTypedMs);
        QVERIFY(windowHasKeyboard(bench.w, hadKeyboard));
        QVERIFY(xdotool({"key", "alt+n"}));
        QVERIFY(waitUntil([&] { return isConnected(bench.w); }));
    });
}

void PromptKeyboardTest::folderThenName()
{
    // A folder's path and Enter goes into that folder; a name and Enter then names a file there.
    TerminalBench bench;
    QTemporaryDir dir;
    const QString folder = dir.filePath("out");
    QVERIFY(QDir().mkpath(folder));
    bench.w.chkStream->setFocus();
    runScenario(bench.w, [&] {
        QVERIFY(xdotool({"key", "space"}));
        QVERIFY(promptHasKeyboard());
        QVERIFY(xdotool({"type", folder}));
        QVERIFY(xdotool({"key", "Return"}));
        QVERIFY(waitUntil(
            [&] {
                return onGui([&] {
                    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                    return dialog && dialog->directory().absolutePath() == folder;
                });
            },
            kTypedMs));
        QVERIFY(promptHasKeyboard());
        QVERIFY(xdotool({"type", "mylog"}));
        QVERIFY(xdotool({"key", "Return"}));
        QVERIFY(windowHasKeyboard(bench.w, bench.w.chkStream));
    });
    QCOMPARE(bench.w.state().StreamFileName, folder + "/mylog");
    QVERIFY(QFile::exists(folder + "/mylog"));
}

QTEST_MAIN(PromptKeyboardTest)
#include "tst_prompt_keyboard.moc"
