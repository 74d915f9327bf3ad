#include "link/meterframe.h"

#include <algorithm>
#include <string_view>

namespace pexumo {

namespace {

constexpr std::array<ModeInfo, 21> kModes{{
    {nullptr, nullptr, 0}, // code 0 is undefined
    {"COND", "us", 1},     {"COND", "us", 0},  {"COND", "ms", 2},  {"COND", "ms", 1},
    {"TDS", "ppm", 1},     {"TDS", "ppm", 0},  {"TDS", "ppt", 2},  {"TDS", "ppt", 1},
    {"Salt", "ppm", 1},    {"Salt", "ppm", 0}, {"Salt", "ppt", 2}, {"Salt", "ppt", 1},
    {"pH", "pH", 2},       {"pH", "mV", 1},    {"pH", "mV", 0},    {"ORP", "mV", 1},
    {"ORP", "mV", 0},      {"DO", "mg/L", 2},  {"DO", "ppm", 2},   {"O2", "%", 1},
}};

// The type and unit texts as QStrings over static 16-bit copies of the table, built once: every
// decoded frame copies them, and such a copy neither allocates nor counts references.
struct ModeTexts
{
    std::array<std::array<char16_t, 8>, kModes.size()> typeStorage{};
    std::array<std::array<char16_t, 8>, kModes.size()> unitStorage{};
    std::array<QString, kModes.size()> type;
    std::array<QString, kModes.size()> unit;
    QString celsius = QStringLiteral("C");
    QString fahrenheit = QStringLiteral("F");
    QString zero = QStringLiteral("0");

    ModeTexts()
    {
        for (std::size_t i = 1; i < kModes.size(); ++i) {
            type[i] = rawText(kModes[i].type, typeStorage[i]);
            unit[i] = rawText(kModes[i].unit, unitStorage[i]);
        }
    }

    static QString rawText(const char* latin1, std::array<char16_t, 8>& out)
    {
        qsizetype n = 0;
        for (; latin1[n] != 0; ++n)
            out[static_cast<std::size_t>(n)] = char16_t(static_cast<unsigned char>(latin1[n]));
        return QString::fromRawData(reinterpret_cast<const QChar*>(out.data()), n);
    }
};

const ModeTexts& modeTexts()
{
    static const ModeTexts texts;
    return texts;
}

constexpr std::uint8_t kHalt = 0x99;

bool isDecimalByte(std::uint8_t b)
{
    return (b >> 4) <= 9 && (b & 0x0F) <= 9;
}

// Value of two packed-decimal bytes, high nibble first: 07 12 -> 712.
int packedDecimal(std::uint8_t high, std::uint8_t low)
{
    return (high >> 4) * 1000 + (high & 0x0F) * 100 + (low >> 4) * 10 + (low & 0x0F);
}

// Writes digits / 10^decimals (digits 0..9999, decimals 0..2) the way FormatNumber writes that
// quotient, already trimmed: "250", "7.12", "0.5". With oneDecimal a whole number keeps one
// decimal place ("25.0"). Returns the length; zero is left to the caller.
qsizetype writeScaled(char16_t* out, int digits, int decimals, QChar separator, bool oneDecimal)
{
    static constexpr int kPow10[] = {1, 10, 100, 1000};
    int whole = digits / kPow10[decimals];
    int fraction = digits % kPow10[decimals];
    int fractionDigits = decimals;
    while (fractionDigits > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --fractionDigits;
    }
    std::array<char16_t, 4> reversed{};
    std::size_t k = 0;
    do {
        reversed[k++] = char16_t(u'0' + whole % 10);
        whole /= 10;
    } while (whole > 0);
    qsizetype n = 0;
    while (k > 0)
        out[n++] = reversed[--k];
    if (fractionDigits > 0) {
        out[n++] = separator.unicode();
        for (int i = fractionDigits - 1; i >= 0; --i)
            out[n++] = char16_t(u'0' + fraction / kPow10[i] % 10);
    } else if (oneDecimal) {
        out[n++] = separator.unicode();
        out[n++] = u'0';
    }
    return n;
}

QString scaledText(int digits, int decimals, NumberFormat format, bool oneDecimal)
{
    if (digits == 0)
        return modeTexts().zero;
    std::array<char16_t, 8> buf{};
    const qsizetype n = writeScaled(buf.data(), digits, decimals, format.decimal, oneDecimal);
    return QString(reinterpret_cast<const QChar*>(buf.data()), n);
}

QString valueText(const MeterFrame& f, const ModeInfo& mode, NumberFormat format)
{
    return scaledText(packedDecimal(f[3], f[4]), mode.decimals, format, false);
}

// Temperature in tenths of a degree (bit 7 of the mode byte clear) or whole degrees (set).
// A live reading always shows a decimal place for tenths ("25.0"); a memory record does not.
QString tempText(const MeterFrame& f, bool live, NumberFormat format)
{
    const bool tenths = (f[7] & 0x80) == 0;
    return scaledText(packedDecimal(f[5], f[6]), tenths ? 1 : 0, format, live && tenths);
}

} // namespace

const ModeInfo* lookupMode(int code)
{
    if (code < 1 || code >= static_cast<int>(kModes.size()))
        return nullptr;
    return &kModes[static_cast<std::size_t>(code)];
}

bool hasFraming(const MeterFrame& frame)
{
    return frame[0] == 0x0F && frame[1] == 0xFF && frame[9] == 0x0F && frame[10] == 0xFD;
}

FrameEvent decodeFrame(const MeterFrame& f, NumberFormat format)
{
    FrameEvent ev;
    if (!hasFraming(f)) {
        ev.reason = FrameEvent::DropReason::BadFraming;
        return ev;
    }
    ev.recordNo = f[2];
    ev.mode = f[7] & 0x1F;
    // The halt test comes before the record-number test: a halt frame is never record 153.
    if (std::all_of(f.begin() + 2, f.begin() + 9, [](std::uint8_t b) { return b == kHalt; })) {
        ev.kind = FrameEvent::Kind::Halt;
        ev.timer = FrameEvent::TimerEffect::Disable;
        return ev;
    }
    const bool live = f[2] == 0;
    // A live frame lets sampling run again, a memory record holds it off while a download
    // arrives; both apply even when the mode code is undefined.
    ev.timer = live ? FrameEvent::TimerEffect::Enable : FrameEvent::TimerEffect::Disable;
    const ModeInfo* mode = lookupMode(ev.mode);
    if (!mode) {
        ev.reason = FrameEvent::DropReason::UndefinedMode;
        return ev;
    }
    if (!isDecimalByte(f[3]) || !isDecimalByte(f[4]) || !isDecimalByte(f[5]) ||
        !isDecimalByte(f[6])) {
        ev.reason = FrameEvent::DropReason::BadDigits;
        ev.timer = FrameEvent::TimerEffect::None;
        return ev;
    }

    const ModeTexts& texts = modeTexts();
    const auto code = static_cast<std::size_t>(ev.mode);
    const qint32 sign = (f[7] & 0x20) ? -1 : 1;
    const QString& tempUnit = (f[7] & 0x40) ? texts.fahrenheit : texts.celsius;
    if (live) {
        ev.kind = FrameEvent::Kind::Live;
        ev.live.FMeasType = texts.type[code];
        ev.live.FMeasValue = valueText(f, *mode, format);
        ev.live.FMeasTemp = tempText(f, true, format);
        ev.live.FMeasUnit = texts.unit[code];
        ev.live.FTempUnit = tempUnit;
        ev.live.FValueSign = sign;
        return ev;
    }

    ev.kind = FrameEvent::Kind::Record;
    MemoryRecord& r = ev.record;
    r.type = texts.type[code];
    r.value = valueText(f, *mode, format);
    r.unit = texts.unit[code];
    // An electrode voltage (ORP, or pH shown in mV) is stored without its temperature.
    const std::string_view type = mode->type;
    const bool voltage = type == "ORP" || (type == "pH" && std::string_view(mode->unit) == "mV");
    if (!voltage) {
        r.temp = tempText(f, false, format);
        r.tempUnit = tempUnit;
    }
    r.sign = sign;
    return ev;
}

MeterFrame encodeFrame(std::uint8_t recordNo, int value, int temp, int mode, bool negative,
                       bool fahrenheit, bool wholeDegrees)
{
    const auto bcd = [](int digits) {
        const int v = std::clamp(digits, 0, 9999);
        return std::array<std::uint8_t, 2>{
            static_cast<std::uint8_t>((v / 1000) << 4 | (v / 100 % 10)),
            static_cast<std::uint8_t>((v / 10 % 10) << 4 | (v % 10))};
    };
    const auto v = bcd(value);
    const auto t = bcd(temp);
    const auto modeByte =
        static_cast<std::uint8_t>((mode & 0x1F) | (negative ? 0x20 : 0) | (fahrenheit ? 0x40 : 0) |
                                  (wholeDegrees ? 0x80 : 0));
    return {0x0F, 0xFF, recordNo, v[0], v[1], t[0], t[1], modeByte, 0x00, 0x0F, 0xFD};
}

MeterFrame haltFrame()
{
    return {0x0F, 0xFF, kHalt, kHalt, kHalt, kHalt, kHalt, kHalt, kHalt, 0x0F, 0xFD};
}

} // namespace pexumo
