#include "app/ElapsedTimeText.h"

#include <QTime>

QString LongTimeFormatWithoutZone(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    result.reserve(format.size());
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            result += c;
            continue;
        }
        if (!quoted && c == QLatin1Char('t')) {
            // Drop the whole zone field and one blank that joined it to its neighbour.
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
                ++i;
            if (!result.isEmpty() && result.back().isSpace())
                result.chop(1);
            else if (i + 1 < format.size() && format.at(i + 1).isSpace())
                ++i;
            continue;
        }
        result += c;
    }
    return result.trimmed();
}

QString ElapsedTimeText(std::int64_t elapsedSeconds, const QLocale& locale)
{
    constexpr std::int64_t secondsPerDay = 24 * 60 * 60;
    std::int64_t seconds = elapsedSeconds % secondsPerDay;
    if (seconds < 0) seconds = 0;
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds));
    return locale.toString(time, LongTimeFormatWithoutZone(locale));
}
