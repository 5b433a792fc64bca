#include "ReplyValue.h"

#include "exchange/ValueStripping.h"

QString replyValue(QStringView reply)
{
    NumberScan scan;
    const std::optional<double> whole = readLeadingNumber(reply, &scan);
    if (whole && scan.whole)
        return formatNumber(*whole);
    bool carriesNumber = false;
    const QString stripped = stripReplyValue(reply, nullptr, &carriesNumber);
    return carriesNumber ? stripped : QString();
}
