// Connects the real window to one port and prints what the user is told, one message per
// line as "title<TAB>text", then the Connect button's caption. The fault tests run it as an
// unprivileged user, where no file mode stops the test process itself.

#include "app/frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
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
