#pragma once

#include "base/numberformat.h"
#include "results/resultlistmodel.h"

#include <QByteArray>
#include <QString>

namespace pexumo {

/// The CSV file of a result list, for spreadsheets: RFC 4180, a header line, every line ended by
/// CR LF, UTF-8 without a byte order mark, a field quoted only when it holds the field separator,
/// a double quote, CR or LF (a quote inside is doubled).
///
/// Separators: with a decimal comma in \a format the fields are separated by ";" and numbers use
/// ","; otherwise "," and ".". A stored number text (written with whatever separator was in
/// force when its row was made, never with thousands separators) is written with the file's
/// decimal separator: "7.12" and "7,12" both give 7.12 in a "," file and 7,12 in a ";" file.
/// A text that is no plain number is written as it is stored.
///
/// Layouts (shown with ","):
///   Sample      Date,Time,Type,Value,Unit,Temperature,Temperature unit
///   Orp         the same header; both temperature fields are always empty
///   Downloaded  Record,Type,Value,Unit,Temperature,Temperature unit,Received
/// Sample and Orp rows are written oldest first. Date is "yyyy-MM-dd" and Time "HH:mm:ss" of the
/// row's instant in the local time that held then; a row without an instant gets an empty Date
/// and its stored time of day. Value carries the row's minus sign. Downloaded rows are written in
/// the order they arrived; Value is the stored value with "-" in front for Sign -1, Received the
/// local "yyyy-MM-dd HH:mm:ss" of the arrival (empty when unknown), and a row whose Sign is
/// neither +1 nor -1 gives no line. An empty list gives the header line alone.
QByteArray exportCsvBytes(const ResultListModel& list,
                          NumberFormat format = NumberFormat::current());

/// \a path with ".csv" appended unless it already ends with ".csv" in any letter case:
/// result -> result.csv, result.CSV unchanged, data.csv.bak -> data.csv.bak.csv.
QString withCsvExtension(const QString& path);

} // namespace pexumo
