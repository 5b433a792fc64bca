#include "StreamingColors.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QColor loggingBackground()
{
    return QColor(255, 255, 255);
}

QColor streamingBackground()
{
#ifdef Q_OS_WIN
    const DWORD color = GetSysColor(COLOR_INACTIVEBORDER);
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
#else
    return QColor(0xD4, 0xD0, 0xC8);
#endif
}
