#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

// The elapsed time of a transfer written the way the locale writes a time of day in
// its long form (a 12-hour locale shows it as a time just after midnight). Time-zone
// fields of the locale's format are left out: a duration has none. Durations of a day
// or more wrap like a clock.
QString ElapsedTimeText(std::int64_t elapsedSeconds, const QLocale& locale);

// The locale's long time format without its time-zone fields.
QString LongTimeFormatWithoutZone(const QLocale& locale);
