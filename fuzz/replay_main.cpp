// Runs a fuzz target over the files of a corpus once, without the fuzzing engine, so that
// the seeds are checked on every test run with the normal compiler.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        QStringList files;
        const QFileInfo path(QString::fromLocal8Bit(argv[i]));
        if (path.isDir()) {
            for (const QString& name : QDir(path.filePath()).entryList(QDir::Files, QDir::Name))
                files << path.filePath() + QLatin1Char('/') + name;
        } else {
            files << path.filePath();
        }
        for (const QString& name : files) {
            QFile file(name);
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
                return 1;
            }
            const QByteArray bytes = file.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   size_t(bytes.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
