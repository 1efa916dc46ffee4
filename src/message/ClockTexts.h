#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The date and time printed into every message, refreshed by the clock tick.
struct ClockTexts {
    QString date;      // the locale's short date
    QString time;      // hour:minute as "%u:%02u", e.g. 9:05
    QString dateLine;  // "Date: " + date + "\r\n"
    QString timeLine;  // "Time: " + time + "\r\n"
    QString dateValue; // date + "\r\n"
    QString timeValue; // time + "\r\n"
};

ClockTexts MakeClockTexts(const QDateTime &now, const QLocale &locale);
