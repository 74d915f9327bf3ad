#pragma once

#include <QChar>
#include <QString>
#include <QStringView>
#include <QUtf8StringView>

#include <optional>

namespace pexumo {

/// The process-wide number format: the decimal and thousands separators that every number text
/// Pexumo writes uses, and that every reader of those texts expects. It starts from the user's
/// regional settings and "ChangeDecimal" = 1 in config.ini switches it to "," and ".".
struct NumberFormat
{
    QChar decimal = u'.';
    QChar thousands = u',';

    /// The format in force for the whole process.
    static NumberFormat current();
    static void setCurrent(NumberFormat format);
    /// The separators of the user's regional settings (QLocale(), which is the system's locale
    /// from LC_ALL, LC_NUMERIC or LANG unless a default was set): what is in force unless
    /// config.ini asks for the decimal comma.
    static NumberFormat regional();

    friend bool operator==(const NumberFormat&, const NumberFormat&) = default;
};

/// Shortest text of \a value with at most 15 significant digits, no exponent, no trailing zeros
/// after the separator and no separator at all for a whole number: 7.12, 0.5, 100, 0.
/// Never writes a thousands separator. Non-finite values give "NAN", "INF" and "-INF".
QString FormatNumber(double value, NumberFormat format = NumberFormat::current());

/// Reads a whole text as a decimal number with the given separator; nullopt when it is not one
/// (empty text, letters, a second separator, an exponent, a thousands separator). Surrounding white
/// space and a leading sign are accepted. Never depends on the C library's locale.
std::optional<double> ToNumber(QStringView text, NumberFormat format = NumberFormat::current());

/// Reads the leading number of a text the way a C library reader does: white space skipped, an
/// optional sign, digits with one decimal separator, an optional exponent ("1e3"); reading stops
/// at the first character that does not fit, and a text without a number reads as 0. Unlike
/// strtod it never follows the C locale, only the separator it is given, and it reads no
/// hexadecimal, "inf" or "nan".
double ReadLeadingNumber(QStringView text, NumberFormat format = NumberFormat::current());

/// Reads the leading number of a text Pexumo wrote, under whichever decimal separator was in
/// force when it was written: "." and "," both serve as the decimal point, the first one met
/// after the digits being the one that counts ("7.12" and "7,12" both read 7.12). Such texts
/// never carry a thousands separator, so a comma is never taken for one. Otherwise as
/// ReadLeadingNumber: a text without a number reads as 0.
double ReadNumberText(QStringView text);
/// ReadNumberText of a text as the journal keeps it (UTF-8), read where it lies: only ASCII
/// characters make a number, so the bytes are read as characters without decoding them first.
double ReadNumberText(QUtf8StringView text);

} // namespace pexumo
