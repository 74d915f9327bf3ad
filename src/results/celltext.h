#pragma once

#include "base/numberformat.h"
#include "results/listid.h"
#include "results/resultrecord.h"

#include <QString>

namespace pexumo {

// The cell-text rules of the result lists. Each one either replaces cellText or leaves the text
// the list preset. They choose by logical column index, never by the column's display position.

/// pH, COND, TDS, Salt, DO and O2 lists: columns 0..3 are TimeOrNo, Type, Value, Unit; column 4
/// is Temp + " C" or Temp + " F" (a blank before the letter), and is left alone when TempUnit is
/// neither "C" nor "F". Other columns are left alone.
void applySampleRule(const ResultRecord& record, int column, QString& cellText);

/// ORP list: columns 0..3 as in the sample rule; column 4 is always empty, since no ORP row (nor
/// a pH row in mV) carries a temperature. Other columns are left alone.
void applyOrpRule(const ResultRecord& record, int column, QString& cellText);

/// Downloaded-record list: 0 record number, 1 Type, 2 Value with "-" in front when Sign is -1
/// (left alone unless Sign is +1 or -1), 3 Unit, 4 Temp read as a leading number with "." or ","
/// as its decimal point and written back in \a format (025.50 shows 25.5, or 25,5 under a decimal
/// comma; an empty Temp shows 0), 5 " C" / " F" / empty. Any other column gets the empty text.
void applyDownloadedRule(const ResultRecord& record, int column, QString& cellText,
                         NumberFormat format = NumberFormat::current());

/// The rule of \a list: the ORP rule for the ORP list, the downloaded rule for the records, the
/// sample rule for every other list.
void applyCellRule(ListId list, const ResultRecord& record, int column, QString& cellText);

} // namespace pexumo
