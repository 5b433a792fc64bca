// The terminal's stream switch asking for its file in Windows' own dialog, for
// check-file-prompt.sh, which types into that dialog through the X server. While the prompt is
// open, the probe keeps the folder the dialog shows in STATUS; once the switch has done its
// work, it writes the stream file's path and each message shown, a line each, into RESULT.
//   prompt_probe RESULT STATUS

#include "app/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QSaveFile>
#include <QTimer>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    // Whole or not at all, for the script that waits for it.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        file.commit();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString result = QString::fromLocal8Bit(argv[1]);
    const QString status = QString::fromLocal8Bit(argv[2]);
    frmMain w;
    QByteArray told;
    w.setMessageSink([&told](QMessageBox::Icon, const QString& title, const QString& text) {
        told += (title + QLatin1Char('\t') + text).toUtf8() + '\n';
    });
    w.show();
    // The dialog's folder, asked of Windows' dialog while it runs its own modal loop.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &w, [&w, status] {
        if (auto* dialog = w.findChild<QFileDialog*>())
            writeFile(status, dialog->directory().absolutePath().toUtf8() + '\n');
    });
    watch.start(100);
    QTimer::singleShot(0, &w, [&] {
        w.chkStream->click();
        watch.stop();
        writeFile(result, w.state().StreamFileName.toUtf8() + '\n' + told);
        app.quit();
    });
    return app.exec();
}
