#include "TimeStamp.h"

#include <QLocale>

QString timeStampText(const QDateTime& localTime)
{
    return QLocale::c().toString(localTime, QStringLiteral("MM/dd/yyyy HH:mm:ss.zzz"));
}
