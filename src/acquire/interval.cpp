#include "acquire/interval.h"

#include "base/usersettings.h"

#include <QSettings>

#include <limits>

namespace pexumo {

IntervalCheck checkInterval(QStringView text)
{
    text = text.trimmed();
    IntervalCheck check;
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return check;
    // Accumulated as a magnitude in 64 bits; anything beyond 2^31 is out of 32 bits already.
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return check;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > qint64(std::numeric_limits<qint32>::max()) + 1)
            return check;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<qint32>::max())
        return check;
    check.seconds = static_cast<int>(value);
    check.result = (value >= 1 && value <= MaxIntervalSeconds) ? IntervalCheck::Result::Ok
                                                               : IntervalCheck::Result::OutOfRange;
    return check;
}

QString intervalMessage(const IntervalCheck& check)
{
    switch (check.result) {
    case IntervalCheck::Result::Ok:
        return {};
    case IntervalCheck::Result::NotInteger:
        return QStringLiteral("Interval value must be an integer.");
    case IntervalCheck::Result::OutOfRange:
        return QStringLiteral("Interval value must be from 1 to %1 seconds.")
            .arg(MaxIntervalSeconds);
    }
    return {};
}

namespace {

const QString kRunGroup = QStringLiteral("Run");
const QString kIntervalKey = QStringLiteral("Interval");

} // namespace

int rememberedInterval()
{
    const std::unique_ptr<QSettings> file = openUserSettings();
    const IntervalCheck check =
        checkInterval(file->value(kRunGroup + u'/' + kIntervalKey).toString());
    return check.result == IntervalCheck::Result::Ok ? check.seconds : 1;
}

bool rememberInterval(int seconds, QString* error)
{
    const std::unique_ptr<QSettings> file = openUserSettings();
    file->setValue(kRunGroup + u'/' + kIntervalKey, QString::number(seconds));
    return writeUserSettings(*file, error);
}

} // namespace pexumo
