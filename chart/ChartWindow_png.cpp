// Saving the chart as a PNG image, with a file dialog of the chart's own that leaves the
// terminal reading meanwhile.

#include "ChartWindow.h"
#include "app/Failure.h"

#include "log/FilePrompt.h"

#include <QBuffer>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QStandardPaths>

void ChartWindow::askForPngFile()
{
    if (m_askingForPng)
        return;
    FilePrompt prompt;
    prompt.title = QStringLiteral("Save the Chart as PNG");
    prompt.nameFilter = QStringLiteral("PNG Images (*.png)");
    prompt.defaultSuffix = QStringLiteral("png");
    prompt.folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (prompt.folder.isEmpty() || !QFileInfo(prompt.folder).isDir())
        prompt.folder = QDir::homePath();
    // The next prompt offers the file chosen last, in its folder.
    prompt.offeredName = m_pngFile.isEmpty() ? QStringLiteral("readings.png") : m_pngFile;
    // Replacing a file is asked below, without nesting a modal loop in the prompt.
    prompt.confirmOverwrite = false;
    m_askingForPng = true;
    // Modal to this window only, so that the terminal goes on reading and logging meanwhile.
    prompt.open(this, [this](const QString& path) {
        m_askingForPng = false;
        if (path.isEmpty())
            return;
        m_pngFile = path;
        if (!QFileInfo::exists(path)) {
            writePng(path);
            return;
        }
        auto* question = new QMessageBox(
            QMessageBox::Question, QStringLiteral("Save the Chart as PNG"),
            QStringLiteral("%1 already exists. Do you want to replace it?").arg(path),
            QMessageBox::Yes | QMessageBox::No, this);
        question->setAttribute(Qt::WA_DeleteOnClose);
        question->setDefaultButton(QMessageBox::No);
        connect(question, &QMessageBox::finished, this, [this, path](int answer) {
            if (answer == QMessageBox::Yes)
                writePng(path);
        });
        question->open();
    });
}

void ChartWindow::writePng(const QString& path)
{
    const QString failure = savePng(path);
    if (failure.isEmpty())
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Save the Chart as PNG"),
                                failure, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QString ChartWindow::savePng(const QString& path) const
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo target(path);
    // Only a plain file is written: a pipe or a device could hold the window for ever.
    if (target.exists() && !target.isFile())
        return QStringLiteral("The chart was not saved: %1 is not a plain file.").arg(shown);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!m_view->grab().save(&buffer, "PNG"))
        return QStringLiteral("The chart was not saved: it could not be turned into a PNG image.");
    // Written to a new file beside it and renamed, so that a failure leaves the old file whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit())
        return QStringLiteral("The chart was not saved to %1: %2.")
            .arg(shown, systemReason(file.errorString()));
    return QString();
}
