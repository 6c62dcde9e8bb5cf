#include "app/LongTimeText.h"

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

QString LongTimeText(const QTime& time, const QLocale& locale)
{
    return locale.toString(time, LongTimeFormatWithoutZone(locale));
}
