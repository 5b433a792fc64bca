#pragma once

#include <QString>

// Texts the window shows and that more than one handler compares or sets.
inline const QString kConnectCaption = QStringLiteral("Co&nnect");
inline const QString kDisconnectCaption = QStringLiteral("Disco&nnect");
inline const QString kCommandPrompt =
    QStringLiteral("Please select a port and connect to your instrument");
inline const QString kCommandPromptAfterDisconnect = kCommandPrompt + QLatin1Char('!');
