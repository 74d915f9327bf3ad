#include "base/numberformat.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace pexumo {

namespace {
NumberFormat g_current;

bool isCSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// std::from_chars is locale-free but only reads ASCII with '.' as the point, so the number's
// characters are copied into a char buffer with the format's separator mapped to '.'. Short texts
// (every text the meter produces) stay on the stack.
class AsciiNumber
{
public:
    explicit AsciiNumber(QStringView text, NumberFormat format)
    {
        const auto n = static_cast<std::size_t>(text.size());
        char* out = m_small.data();
        if (n > m_small.size()) {
            m_large.resize(n);
            out = m_large.data();
        }
        for (std::size_t i = 0; i < n; ++i) {
            const QChar c = text[static_cast<qsizetype>(i)];
            out[i] = c == format.decimal ? '.' : static_cast<char>(c.unicode());
        }
        m_begin = out;
        m_end = out + n;
    }
    const char* begin() const { return m_begin; }
    const char* end() const { return m_end; }

private:
    std::array<char, 64> m_small{};
    std::string m_large;
    const char* m_begin = nullptr;
    const char* m_end = nullptr;
};

// Length of the decimal number at the start of text: digits with at most one separator and at
// least one digit, then an optional exponent. 0 when no number starts there.
qsizetype matchUnsigned(QStringView text, QChar decimal, bool allowExponent)
{
    qsizetype i = 0;
    qsizetype digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == decimal) {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (allowExponent && i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        const qsizetype expStart = j;
        while (j < text.size() && isDigit(text[j]))
            ++j;
        if (j > expStart)
            i = j;
    }
    return i;
}

// For a well-formed unsigned number "digits[.digits][e[+-]digits]" that is not zero: true when
// it is 1 or more, i.e. when the decimal exponent of its first significant digit is not negative.
bool atLeastOne(const char* begin, const char* end)
{
    const char* const exp = std::find_if(begin, end, [](char c) { return c == 'e' || c == 'E'; });
    const char* const point = std::find(begin, exp, '.');
    const char* const first = std::find_if(begin, exp, [](char c) { return c >= '1' && c <= '9'; });
    if (first == exp)
        return false;
    const long long lead = first < point ? point - first - 1 : -(first - point);
    long long power = 0;
    if (exp != end) {
        const char* p = exp + 1;
        if (*p == '+')
            ++p; // from_chars takes a minus sign only
        if (std::from_chars(p, end, power).ec == std::errc::result_out_of_range)
            return *p != '-';
    }
    return power >= -lead;
}

// Reads a span already known to be a well-formed unsigned decimal number. Values beyond the
// range of double become infinity or the nearest tiny value (or 0), as the C library's reader
// does. from_chars leaves its result untouched when out of range, so a value beyond even long
// double is judged by its magnitude.
double readUnsigned(QStringView span, NumberFormat format)
{
    const AsciiNumber ascii(span, format);
    double value = 0;
    const auto res = std::from_chars(ascii.begin(), ascii.end(), value);
    if (res.ec == std::errc::result_out_of_range) {
        long double wide = 0;
        if (std::from_chars(ascii.begin(), ascii.end(), wide).ec == std::errc())
            value = static_cast<double>(wide);
        else
            value = atLeastOne(ascii.begin(), ascii.end()) ? HUGE_VAL : 0.0;
    }
    return value;
}
} // namespace

NumberFormat NumberFormat::current()
{
    return g_current;
}

void NumberFormat::setCurrent(NumberFormat format)
{
    g_current = format;
}

NumberFormat NumberFormat::regional()
{
    // QLocale gives its separators as strings; every locale in use has one character.
    const QLocale locale;
    NumberFormat format;
    if (!locale.decimalPoint().isEmpty())
        format.decimal = locale.decimalPoint().front();
    if (!locale.groupSeparator().isEmpty())
        format.thousands = locale.groupSeparator().front();
    return format;
}

QString FormatNumber(double value, NumberFormat format)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");

    // 15 significant digits in scientific form ("-d.dddddddddddddde+XX"), then the trailing
    // zeros are stripped and the separator placed by hand.
    std::array<char, 32> sci{};
    const auto res = std::to_chars(sci.data(), sci.data() + sci.size(), value,
                                   std::chars_format::scientific, 14);
    const char* p = sci.data();
    const bool negative = *p == '-';
    if (negative)
        ++p;
    std::array<char, 16> digits{};
    int digitCount = 0;
    for (; p < res.ptr && *p != 'e'; ++p)
        if (*p != '.')
            digits[static_cast<std::size_t>(digitCount++)] = *p;
    int exponent = 0;
    bool negativeExponent = false;
    for (++p; p < res.ptr; ++p) {
        if (*p == '-')
            negativeExponent = true;
        else if (*p != '+')
            exponent = exponent * 10 + (*p - '0');
    }
    if (negativeExponent)
        exponent = -exponent;
    while (digitCount > 1 && digits[static_cast<std::size_t>(digitCount - 1)] == '0')
        --digitCount;

    // Largest text: sign, 309 integer digits; or sign, "0.", 323 zeros and 15 digits.
    std::array<char16_t, 352> out{};
    std::size_t n = 0;
    if (negative)
        out[n++] = u'-';
    if (exponent >= 0) {
        const int intLen = exponent + 1;
        for (int i = 0; i < intLen; ++i)
            out[n++] = i < digitCount ? char16_t(digits[static_cast<std::size_t>(i)]) : u'0';
        if (digitCount > intLen) {
            out[n++] = format.decimal.unicode();
            for (int i = intLen; i < digitCount; ++i)
                out[n++] = char16_t(digits[static_cast<std::size_t>(i)]);
        }
    } else {
        out[n++] = u'0';
        out[n++] = format.decimal.unicode();
        for (int i = 0; i < -exponent - 1; ++i)
            out[n++] = u'0';
        for (int i = 0; i < digitCount; ++i)
            out[n++] = char16_t(digits[static_cast<std::size_t>(i)]);
    }
    return QString(reinterpret_cast<const QChar*>(out.data()), static_cast<qsizetype>(n));
}

std::optional<double> ToNumber(QStringView text, NumberFormat format)
{
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    const qsizetype len = matchUnsigned(text, format.decimal, false);
    if (len == 0 || len != text.size())
        return std::nullopt;
    const double value = readUnsigned(text, format);
    return negative ? -value : value;
}

double ReadLeadingNumber(QStringView text, NumberFormat format)
{
    qsizetype i = 0;
    while (i < text.size() && isCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    text = text.mid(i);
    const qsizetype len = matchUnsigned(text, format.decimal, true);
    if (len == 0)
        return 0;
    const double value = readUnsigned(text.first(len), format);
    return negative ? -value : value;
}

double ReadNumberText(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && isCSpace(text[i]))
        ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    const bool comma = i < text.size() && text[i] == u',';
    return ReadLeadingNumber(text, comma ? NumberFormat{u',', u'.'} : NumberFormat{u'.', u','});
}

double ReadNumberText(QUtf8StringView text)
{
    // The journal's usual value, digits with or without a point ("7.12", "350"): read as is.
    // Only what the general reading takes the same way, so both give the same double.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    while (p != end && *p >= '0' && *p <= '9')
        ++p;
    const char* const point = p;
    if (p != end && *p == '.')
        for (++p; p != end && *p >= '0' && *p <= '9';)
            ++p;
    if (point != begin && p == end && (point == end || end - point > 1)) {
        double value = 0;
        if (std::from_chars(begin, end, value).ec == std::errc())
            return value;
    }
    // Each byte as the character of its own code: a byte of a longer UTF-8 character is no
    // digit, sign, blank or separator, so it ends the number as the decoded character would.
    std::array<char16_t, 64> small;
    if (text.size() > qsizetype(small.size()))
        return ReadNumberText(QStringView(QString::fromUtf8(text.data(), text.size())));
    for (qsizetype i = 0; i < text.size(); ++i)
        small[std::size_t(i)] = char16_t(static_cast<unsigned char>(text.data()[i]));
    return ReadNumberText(QStringView(small.data(), text.size()));
}

} // namespace pexumo
