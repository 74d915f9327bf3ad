#include "results/resultlistmodel.h"

#include "results/celltext.h"
#include "results/localstamp.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <limits>

namespace pexumo {

namespace {
const QStringList& headersFor(ListKind kind)
{
    static const QStringList sample{QStringLiteral("Time"), QStringLiteral("Type"),
                                    QStringLiteral("Value"), QStringLiteral("Unit"),
                                    QStringLiteral("Temp")};
    static const QStringList downloaded{QStringLiteral("DataNo"), QStringLiteral("Type"),
                                        QStringLiteral("Value"),  QStringLiteral("Unit"),
                                        QStringLiteral("Temp"),   QStringLiteral("TempUnit")};
    return kind == ListKind::Downloaded ? downloaded : sample;
}

template <typename T> void appendRaw(std::vector<char>& arena, T value)
{
    const auto at = arena.size();
    arena.resize(at + sizeof(T));
    std::memcpy(arena.data() + at, &value, sizeof(T));
}

} // namespace

ResultListModel::ResultListModel(ListKind kind, QObject* parent)
    : QAbstractTableModel(parent), m_kind(kind), m_handler(defaultHandler())
{
}

ResultListModel::CellTextHandler ResultListModel::defaultHandler() const
{
    switch (m_kind) {
    case ListKind::Sample:
        return applySampleRule;
    case ListKind::Orp:
        return applyOrpRule;
    case ListKind::Downloaded:
        break;
    }
    return [](const ResultRecord& record, int column, QString& cellText) {
        applyDownloadedRule(record, column, cellText);
    };
}

void ResultListModel::appendLength(std::vector<char>& arena, quint64 length)
{
    if (length < LongLength) {
        arena.push_back(static_cast<char>(length));
    } else {
        arena.push_back(static_cast<char>(LongLength));
        appendRaw(arena, length);
    }
}

void ResultListModel::appendHead(std::vector<char>& arena, qint32 sign, qint64 stampMs,
                                 qint32 utcOffsetSec)
{
    unsigned char head = SignOther;
    switch (sign) {
    case 0:
        head = SignZero;
        break;
    case 1:
        head = SignPlus;
        break;
    case -1:
        head = SignMinus;
        break;
    default:
        break;
    }
    const qint32 offset = utcOffsetSec;
    const bool quarters = offset % 900 == 0 && offset / 900 >= -128 && offset / 900 <= 127;
    if (stampMs != 0)
        head |= HasStamp;
    if (offset != 0)
        head |= quarters ? QuarterOffset : SecondOffset;
    arena.push_back(static_cast<char>(head));
    if ((head & SignMask) == SignOther)
        appendRaw(arena, sign);
    if (head & HasStamp)
        appendRaw(arena, stampMs);
    if (head & QuarterOffset)
        arena.push_back(static_cast<char>(static_cast<signed char>(offset / 900)));
    else if (head & SecondOffset)
        appendRaw(arena, offset);
}

void ResultListModel::appendText(const QString& text)
{
    // Latin-1 fast path for the usual ASCII texts; anything wider is kept whole as UTF-8.
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    const QByteArray wide = ascii ? QByteArray() : text.toUtf8();
    const auto length = static_cast<quint64>(ascii ? text.size() : wide.size());
    appendLength(m_arena, length);
    const auto at = m_arena.size();
    m_arena.resize(at + length);
    char* out = m_arena.data() + at;
    if (ascii) {
        for (QChar c : text)
            *out++ = static_cast<char>(c.unicode());
    } else {
        std::memcpy(out, wide.constData(), length);
    }
}

void ResultListModel::add(const ResultRecord& record)
{
    const bool onTop = m_kind != ListKind::Downloaded;
    const int viewRow = onTop ? 0 : rowCount();
    beginInsertRows(QModelIndex(), viewRow, viewRow);
    m_offsets.push_back(m_arena.size());
    appendHead(m_arena, record.Sign, record.StampMs, record.UtcOffsetSec);
    for (const QString* text : {&record.TimeOrNo, &record.Type, &record.Value, &record.Unit,
                                &record.Temp, &record.TempUnit})
        appendText(*text);
    endInsertRows();
}

void ResultListModel::PackedRows::add(const PackedRecord& row)
{
    m_offsets.push_back(m_arena.size());
    appendHead(m_arena, row.sign, row.stampMs, row.utcOffsetSec);
    for (const QByteArrayView text : row.texts) {
        const auto length = static_cast<quint64>(text.size());
        appendLength(m_arena, length);
        m_arena.insert(m_arena.end(), text.begin(), text.end());
    }
}

void ResultListModel::append(PackedRows&& rows)
{
    if (rows.m_offsets.empty())
        return;
    const int before = rowCount();
    const qsizetype after = size() + rows.size();
    constexpr auto maxRows = static_cast<qsizetype>(std::numeric_limits<int>::max());
    const int added = static_cast<int>(std::min(after, maxRows)) - before;
    const bool onTop = m_kind != ListKind::Downloaded;
    if (added > 0)
        beginInsertRows(QModelIndex(), onTop ? 0 : before, onTop ? added - 1 : before + added - 1);
    if (m_offsets.empty()) {
        m_arena = std::move(rows.m_arena);
        m_offsets = std::move(rows.m_offsets);
    } else {
        const quint64 base = m_arena.size();
        m_arena.insert(m_arena.end(), rows.m_arena.begin(), rows.m_arena.end());
        m_offsets.reserve(m_offsets.size() + rows.m_offsets.size());
        for (const quint64 offset : rows.m_offsets)
            m_offsets.push_back(base + offset);
    }
    rows = PackedRows();
    if (added > 0)
        endInsertRows();
}

qsizetype ResultListModel::storedIndex(qsizetype viewRow) const
{
    return m_kind == ListKind::Downloaded ? viewRow : size() - 1 - viewRow;
}

ResultRecord ResultListModel::recordInOrder(qsizetype i) const
{
    const PackedRecord packed = packedInOrder(i);
    const auto text = [&packed](int field) { return QString::fromUtf8(packed.texts[field]); };
    return ResultRecord{text(0),     text(1),        text(2),
                        text(3),     text(4),        text(5),
                        packed.sign, packed.stampMs, packed.utcOffsetSec};
}

ResultRecord ResultListModel::recordAtRow(qsizetype viewRow) const
{
    return recordInOrder(storedIndex(viewRow));
}

void ResultListModel::setCellTextHandler(CellTextHandler handler)
{
    m_handler = handler ? std::move(handler) : defaultHandler();
    // Every shown text may change; a reset would also drop the user's column order.
    if (!m_offsets.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

QString ResultListModel::cellText(qsizetype viewRow, int column) const
{
    QString text;
    m_handler(recordAtRow(viewRow), column, text);
    return text;
}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    // A view counts rows in int; past that the oldest rows stay stored and exported.
    constexpr auto maxRows = static_cast<qsizetype>(std::numeric_limits<int>::max());
    return static_cast<int>(std::min(size(), maxRows));
}

int ResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(headersFor(m_kind).size());
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::ToolTipRole)
        return toolTip(index.row(), index.column());
    if (role != Qt::DisplayRole)
        return {};
    return cellText(index.row(), index.column());
}

QVariant ResultListModel::toolTip(qsizetype viewRow, int column) const
{
    // The first column holds the time of day (samples) or the record number (records); its
    // tooltip gives the full local date and time the row was made.
    if (column != 0)
        return {};
    const PackedRecord packed = packedInOrder(storedIndex(viewRow));
    const QString stamp = localStampText(packed.stampMs, packed.utcOffsetSec);
    if (stamp.isEmpty())
        return {};
    if (m_kind == ListKind::Downloaded)
        return QStringLiteral("Received %1").arg(stamp);
    return stamp;
}

void ResultListModel::multiData(const QModelIndex& index, QModelRoleDataSpan roleDataSpan) const
{
    // The delegate asks for several roles per painted cell; decode and format only once.
    const bool valid =
        checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid);
    QString text;
    bool formatted = false;
    for (QModelRoleData& roleData : roleDataSpan) {
        if (valid && roleData.role() == Qt::DisplayRole) {
            if (!formatted) {
                text = cellText(index.row(), index.column());
                formatted = true;
            }
            roleData.setData(text);
        } else if (valid && roleData.role() == Qt::ToolTipRole) {
            roleData.setData(toolTip(index.row(), index.column()));
        } else {
            roleData.clearData();
        }
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    const QStringList& headers = headersFor(m_kind);
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= headers.size())
        return {};
    return headers[section];
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace pexumo
