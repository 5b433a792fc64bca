#pragma once

#include <QString>
#include <QStringView>

// The number a reply carries, as a measurement run records it: a reply that is wholly a number
// as Strip Data reads numbers (blanks around it allowed) is taken whole ("1013.25", where Strip
// Data's cut would leave "25"); otherwise Strip Data's result when its reading found a digit
// ("TEMP_21.50" gives "21.5"); otherwise nothing, so that an error ("ERROR: unknown command")
// never looks like a reading of zero. Written as Strip Data writes numbers.
QString replyValue(QStringView reply);
