// The terminal's stream switch asking for its file in Windows' own dialog, for
// check-file-prompt.sh, which types into that dialog through the X server. Once the switch has
// done its work, the probe writes the stream file's path and each message shown, a line each,
// into RESULT.
//   prompt_probe RESULT

#include "app/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QSaveFile>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString result = QString::fromLocal8Bit(argv[1]);
    frmMain w;
    QByteArray told;
    w.setMessageSink([&told](QMessageBox::Icon, const QString& title, const QString& text) {
        told += (title + QLatin1Char('\t') + text).toUtf8() + '\n';
    });
    w.show();
    QTimer::singleShot(0, &w, [&] {
        w.chkStream->click();
        // Whole or not at all, for the script that waits for it.
        QSaveFile file(result);
        const QByteArray bytes = w.state().StreamFileName.toUtf8() + '\n' + told;
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
            file.commit();
        app.quit();
    });
    return app.exec();
}
