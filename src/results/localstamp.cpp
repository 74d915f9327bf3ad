#include "results/localstamp.h"

#include <chrono>

namespace pexumo {

namespace {
// About 12,700 years either side of 1970: a bound that keeps the sums below from overflowing;
// the year check then narrows it to 1..9999.
constexpr qint64 StampLimitMs = 400'000'000'000'000;

void putDigits(char* at, long long value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}
} // namespace

bool writeLocalStamp(qint64 stampMs, qint32 utcOffsetSec, std::array<char, 19>& out)
{
    using namespace std::chrono;
    if (stampMs == 0 || stampMs > StampLimitMs || stampMs < -StampLimitMs)
        return false;
    const sys_time<milliseconds> local{milliseconds(stampMs + qint64(utcOffsetSec) * 1000)};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const int y = static_cast<int>(date.year());
    if (y < 1 || y > 9999)
        return false;
    const auto secondOfDay = duration_cast<seconds>(local - day).count();

    char* p = out.data();
    putDigits(p, y, 4);
    p[4] = '-';
    putDigits(p + 5, static_cast<unsigned>(date.month()), 2);
    p[7] = '-';
    putDigits(p + 8, static_cast<unsigned>(date.day()), 2);
    p[10] = ' ';
    putDigits(p + 11, secondOfDay / 3600, 2);
    p[13] = ':';
    putDigits(p + 14, secondOfDay / 60 % 60, 2);
    p[16] = ':';
    putDigits(p + 17, secondOfDay % 60, 2);
    return true;
}

QString localStampText(qint64 stampMs, qint32 utcOffsetSec)
{
    std::array<char, 19> text{};
    if (!writeLocalStamp(stampMs, utcOffsetSec, text))
        return {};
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace pexumo
