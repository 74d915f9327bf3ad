#include "app/numberformat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace pexumo {

namespace {
NumberFormat g_current;

// Copies the ASCII number characters of text into buf, mapping the format's decimal separator to
// '.', so that std::from_chars (which is locale-free and always reads '.') can do the work.
// Returns how many characters were copied; stops at the first non-ASCII character or at the end
// of buf.
std::size_t toAsciiNumber(QStringView text, NumberFormat format, char* buf, std::size_t size)
{
    std::size_t n = 0;
    for (QChar c : text) {
        if (n == size)
            break;
        if (c == format.decimal)
            buf[n++] = '.';
        else if (c == u'.' && format.decimal != u'.')
            buf[n++] = '\x01'; // a dot is not a separator under a decimal comma
        else if (c.unicode() < 0x80)
            buf[n++] = static_cast<char>(c.unicode());
        else
            break;
    }
    return n;
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

QString FormatNumber(double value, NumberFormat format)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? QStringLiteral("NAN") : (value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF"));
    if (value == 0)
        return QStringLiteral("0");

    // 15 significant digits in scientific form, then trailing zeros stripped and the point
    // placed by hand: the shortest plain text that keeps 15 digits.
    std::array<char, 40> buf{};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                             std::chars_format::scientific, 14);
    std::string sci(buf.data(), res.ptr);
    const auto ePos = sci.find('e');
    const int exponent = std::stoi(sci.substr(ePos + 1));
    std::string mantissa = sci.substr(0, ePos);
    const bool negative = mantissa.front() == '-';
    if (negative)
        mantissa.erase(0, 1);
    std::string digits;
    for (char c : mantissa)
        if (c != '.')
            digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out;
    if (exponent >= 0) {
        const std::size_t intLen = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            out = digits + std::string(intLen - digits.size(), '0');
        } else {
            out = digits.substr(0, intLen) + '.' + digits.substr(intLen);
        }
    } else {
        out = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    QString text = QString::fromLatin1(out);
    if (format.decimal != u'.')
        text.replace(u'.', format.decimal);
    if (negative)
        text.prepend(u'-');
    return text;
}

std::optional<double> ToNumber(QStringView text, NumberFormat format)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 64)
        return std::nullopt;
    std::array<char, 64> buf{};
    const std::size_t n = toAsciiNumber(text, format, buf.data(), buf.size());
    if (n != static_cast<std::size_t>(text.size()))
        return std::nullopt;
    const char* first = buf.data();
    if (*first == '+')
        ++first;
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, buf.data() + n, value, std::chars_format::fixed);
    if (ec != std::errc() || ptr != buf.data() + n)
        return std::nullopt;
    return value;
}

double ReadLeadingNumber(QStringView text, NumberFormat format)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    text = text.mid(i);
    std::array<char, 128> buf{};
    const std::size_t n = toAsciiNumber(text, format, buf.data(), buf.size());
    const char* first = buf.data();
    const char* last = buf.data() + n;
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) {
        negative = *first == '-';
        ++first;
    }
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ptr == first)
        return 0;
    if (ec == std::errc::result_out_of_range)
        value = HUGE_VAL;
    return negative ? -value : value;
}

} // namespace pexumo
