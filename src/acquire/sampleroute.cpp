#include "acquire/sampleroute.h"

namespace pexumo {

namespace {
// The meter's larger units (ms, ppt) are 1000 of the smaller ones (us, ppm).
constexpr double UnitScale = 1000.0;
} // namespace

std::optional<SamplePlan> planSample(const CurrentReading& reading)
{
    const QString& type = reading.FMeasType;
    const QString& unit = reading.FMeasUnit;
    const bool negative = reading.FValueSign < 0;
    const QString signedText = negative ? u'-' + reading.FMeasValue : reading.FMeasValue;
    const double value = ReadNumberText(reading.FMeasValue);
    const double signedValue = negative ? -value : value;

    SamplePlan plan;
    plan.row.Type = type;
    plan.row.Unit = unit;
    plan.row.Temp = reading.FMeasTemp;
    plan.row.TempUnit = reading.FTempUnit;
    plan.row.Value = reading.FMeasValue;

    bool signedRoute = false;
    if (type == u"pH" && unit == u"pH") {
        plan.target = Parameter::PH;
        signedRoute = true;
    } else if (type == u"pH" || type == u"ORP") {
        // Electrode millivolts share the ORP chart and list; those rows carry no temperature.
        plan.target = Parameter::ORP;
        signedRoute = true;
        plan.row.Temp.clear();
        plan.row.TempUnit.clear();
    } else if (type == u"COND") {
        plan.target = Parameter::COND;
    } else if (type == u"TDS") {
        plan.target = Parameter::TDS;
    } else if (type == u"Salt") {
        plan.target = Parameter::Salt;
    } else if (type == u"DO") {
        plan.target = Parameter::DO;
    } else if (type == u"O2") {
        plan.target = Parameter::O2;
    } else {
        return std::nullopt;
    }

    if (signedRoute) {
        plan.y = signedValue;
        plan.row.Value = signedText;
    } else {
        const bool bigUnit =
            (plan.target == Parameter::COND && unit == u"ms") ||
            ((plan.target == Parameter::TDS || plan.target == Parameter::Salt) && unit == u"ppt");
        plan.y = bigUnit ? value * UnitScale : value;
    }

    plan.hasTemp = unit != u"mV";
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
