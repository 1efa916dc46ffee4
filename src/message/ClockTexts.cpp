#include "message/ClockTexts.h"

ClockTexts MakeClockTexts(const QDateTime &now, const QLocale &locale)
{
    ClockTexts c;
    c.date = locale.toString(now.date(), QLocale::ShortFormat);
    const QTime t = now.time();
    c.time = QStringLiteral("%1:%2").arg(t.hour()).arg(t.minute(), 2, 10, QLatin1Char('0'));
    c.dateLine = QStringLiteral("Date: ") + c.date + QStringLiteral("\r\n");
    c.timeLine = QStringLiteral("Time: ") + c.time + QStringLiteral("\r\n");
    c.dateValue = c.date + QStringLiteral("\r\n");
    c.timeValue = c.time + QStringLiteral("\r\n");
    return c;
}
