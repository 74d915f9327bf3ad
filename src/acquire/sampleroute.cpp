#include "acquire/sampleroute.h"

namespace pexumo {

namespace {
// The meter's larger units (ms, ppt) are 1000 of the smaller ones (us, ppm).
constexpr double UnitScale = 1000.0;
} // namespace

std::optional<SampleRoute> routeOf(QAnyStringView type, QAnyStringView unit)
{
    SampleRoute route;
    if (type == u"pH" && unit == u"pH") {
        route.target = Parameter::PH;
        route.signedValue = true;
    } else if (type == u"pH" || type == u"ORP") {
        // Electrode millivolts share the ORP chart and list; those rows carry no temperature.
        route.target = Parameter::ORP;
        route.signedValue = true;
        route.dropsTemp = true;
    } else if (type == u"COND") {
        route.target = Parameter::COND;
    } else if (type == u"TDS") {
        route.target = Parameter::TDS;
    } else if (type == u"Salt") {
        route.target = Parameter::Salt;
    } else if (type == u"DO") {
        route.target = Parameter::DO;
    } else if (type == u"O2") {
        route.target = Parameter::O2;
    } else {
        return std::nullopt;
    }
    const bool bigUnit =
        (route.target == Parameter::COND && unit == u"ms") ||
        ((route.target == Parameter::TDS || route.target == Parameter::Salt) && unit == u"ppt");
    route.scale = bigUnit ? UnitScale : 1.0;
    route.hasTemp = unit != u"mV";
    return route;
}

std::optional<SamplePlan> planSample(const CurrentReading& reading)
{
    const std::optional<SampleRoute> route = routeOf(reading.FMeasType, reading.FMeasUnit);
    if (!route)
        return std::nullopt;
    const bool negative = reading.FValueSign < 0;
    const QString signedText = negative ? u'-' + reading.FMeasValue : reading.FMeasValue;
    const double value = ReadNumberText(reading.FMeasValue);

    SamplePlan plan;
    plan.target = route->target;
    plan.row.Type = reading.FMeasType;
    plan.row.Unit = reading.FMeasUnit;
    if (!route->dropsTemp) {
        plan.row.Temp = reading.FMeasTemp;
        plan.row.TempUnit = reading.FTempUnit;
    }
    plan.row.Value = route->signedValue ? signedText : reading.FMeasValue;
    plan.y = route->signedValue ? (negative ? -value : value) : value * route->scale;
    plan.hasTemp = route->hasTemp;
    if (plan.hasTemp)
        plan.tempY = ReadNumberText(reading.FMeasTemp);
    plan.readoutValue = signedText;
    return plan;
}

std::optional<SamplePlan> replanRow(const ResultRecord& row)
{
    CurrentReading reading;
    reading.FMeasType = row.Type;
    reading.FMeasUnit = row.Unit;
    reading.FMeasTemp = row.Temp;
    reading.FTempUnit = row.TempUnit;
    reading.FMeasValue = row.Value;
    reading.FValueSign = 1;
    if (reading.FMeasValue.startsWith(QLatin1Char('-'))) {
        reading.FMeasValue.remove(0, 1);
        reading.FValueSign = -1;
    }
    return planSample(reading);
}

PlotPoint plotPointOf(const SampleRoute& route, QUtf8StringView value,
                      QUtf8StringView temp)
{
    // As replanRow: a leading "-" is the sign, which only the pH and ORP routes keep.
    const bool negative = value.size() > 0 && value.data()[0] == '-';
    if (negative)
        value = value.sliced(1);
    const double read = ReadNumberText(value);
    PlotPoint point;
    point.y = route.signedValue ? (negative ? -read : read) : read * route.scale;
    if (route.hasTemp)
        point.temp = ReadNumberText(temp);
    return point;
}

double plotResolution(Parameter parameter)
{
    // The smallest step of every mode that reaches the parameter's charts, planned as a sample.
    double finest = 0;
    for (int code = 1; const ModeInfo* mode = lookupMode(code); ++code) {
        CurrentReading step;
        step.FMeasType = QString::fromLatin1(mode->type);
        step.FMeasUnit = QString::fromLatin1(mode->unit);
        step.FMeasValue = mode->decimals == 0   ? QStringLiteral("1")
                          : mode->decimals == 1 ? QStringLiteral("0.1")
                                                : QStringLiteral("0.01");
        const std::optional<SamplePlan> plan = planSample(step);
        if (plan && plan->target == parameter && (finest == 0 || plan->y < finest))
            finest = plan->y;
    }
    return finest;
}

ResultRecord memoryRecordRow(std::uint8_t recordNo, const MemoryRecord& record)
{
    ResultRecord row;
    row.TimeOrNo = QString::number(recordNo);
    row.Type = record.type;
    row.Value = record.value;
    row.Unit = record.unit;
    row.Temp = record.temp;
    row.TempUnit = record.tempUnit;
    row.Sign = record.sign;
    return row;
}

} // namespace pexumo
