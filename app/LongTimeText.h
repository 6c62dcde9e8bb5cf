#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// A time of day the way the locale writes one in its long form, without the format's time-zone
// fields (the elapsed time of a transfer is shown this way; a duration has no zone).
QString LongTimeText(const QTime& time, const QLocale& locale);

// The locale's long time format without its time-zone fields.
QString LongTimeFormatWithoutZone(const QLocale& locale);
