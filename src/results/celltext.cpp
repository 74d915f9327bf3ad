#include "results/celltext.h"

namespace pexumo {

namespace {
// Columns 0..3 read the same on every list; returns false for any other column.
bool applyCommonColumns(const ResultRecord& record, int column, QString& cellText)
{
    switch (column) {
    case 0:
        cellText = record.TimeOrNo;
        return true;
    case 1:
        cellText = record.Type;
        return true;
    case 2:
        cellText = record.Value;
        return true;
    case 3:
        cellText = record.Unit;
        return true;
    default:
        return false;
    }
}
} // namespace

void applySampleRule(const ResultRecord& record, int column, QString& cellText)
{
    if (applyCommonColumns(record, column, cellText) || column != 4)
        return;
    if (record.TempUnit == u"C")
        cellText = record.Temp + QLatin1String(" C");
    else if (record.TempUnit == u"F")
        cellText = record.Temp + QLatin1String(" F");
}

void applyOrpRule(const ResultRecord& record, int column, QString& cellText)
{
    if (applyCommonColumns(record, column, cellText))
        return;
    if (column == 4)
        cellText.clear();
}

void applyDownloadedRule(const ResultRecord& record, int column, QString& cellText,
                         NumberFormat format)
{
    switch (column) {
    case 0:
        cellText = record.TimeOrNo;
        break;
    case 1:
        cellText = record.Type;
        break;
    case 2:
        // The stored value is unsigned on these rows; the sign travels separately.
        if (record.Sign == 1)
            cellText = record.Value;
        else if (record.Sign == -1)
            cellText = u'-' + record.Value;
        break;
    case 3:
        cellText = record.Unit;
        break;
    case 4:
        cellText = FormatNumber(ReadNumberText(record.Temp), format);
        break;
    case 5:
        if (record.TempUnit == u"C")
            cellText = QStringLiteral(" C");
        else if (record.TempUnit == u"F")
            cellText = QStringLiteral(" F");
        else
            cellText.clear();
        break;
    default:
        cellText.clear();
        break;
    }
}

void applyCellRule(ListId list, const ResultRecord& record, int column, QString& cellText)
{
    switch (listKind(list)) {
    case ListKind::Sample:
        applySampleRule(record, column, cellText);
        return;
    case ListKind::Orp:
        applyOrpRule(record, column, cellText);
        return;
    case ListKind::Downloaded:
        applyDownloadedRule(record, column, cellText);
        return;
    }
}

} // namespace pexumo
