// Connects the real window to one port and prints what the user is told, one message per
// line as "title<TAB>text", then the Connect button's caption; or, given "--prompt-folder" and
// a program folder, prints the folder the file prompt starts in for a program there. The fault
// tests run it as an unprivileged user, where no file mode stops the test process itself.

#include "app/frmMain.h"
#include "log/TextFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    if (argc == 3 && std::strcmp(argv[1], "--prompt-folder") == 0) {
        std::printf("folder\t%s\n", qPrintable(promptFolder(QString::fromLocal8Bit(argv[2]))));
        return 0;
    }
    frmMain w;
    w.setMessageSink([](QMessageBox::Icon, const QString& title, const QString& text) {
        std::printf("%s\t%s\n", qPrintable(title), qPrintable(text));
    });
    w.cboPort->setCurrentIndex(std::atoi(argv[1]) - 1);
    // A port that opens would poll until the window closes: close it after a while.
    QTimer::singleShot(5000, &w, &QWidget::close);
    w.cmdConnect->click();
    std::printf("caption\t%s\n", qPrintable(w.cmdConnect->text()));
    return 0;
}
