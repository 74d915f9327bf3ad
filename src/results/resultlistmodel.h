#pragma once

#include "results/listid.h"
#include "results/resultrecord.h"

#include <QAbstractTableModel>
#include <QByteArrayView>

#include <array>
#include <cstring>
#include <functional>
#include <vector>

namespace pexumo {

/// One result list: rows of ResultRecord, read-only for the user, only ever growing.
///
/// Rows are kept oldest-first whatever the kind, so adding is always an append: on Sample and
/// Orp lists the newest row is shown on top (view row r is stored row size-1-r), on the
/// Downloaded list it is shown at the bottom (view row r is stored row r).
///
/// Storage, sized for millions of rows: one byte arena plus one 8-byte offset per row. A row in
/// the arena is a head byte, the parts it announces, then the six texts in field order, each as
/// a length and its UTF-8 bytes (ASCII in practice, one byte per character):
///   head       bits 0-1 sign code: 0 -> 0, 1 -> +1, 2 -> -1, 3 -> any other value
///              bit 2 a stamp follows, bit 3 an offset in quarter hours, bit 4 one in seconds
///   sign       4 bytes, only for sign code 3
///   stamp      8 bytes, StampMs; absent when it is 0
///   offset     1 signed byte of quarter hours (every zone in use today), else 4 bytes of
///              seconds; absent when it is 0
///   length     1 byte below 255; 255 -> 8 bytes of length follow (no text is ever cut)
/// A typical stamped sample row takes about 40 arena bytes. No cell text is stored: every text
/// the view shows is derived from the record when it is asked for; column 0 also answers a
/// tooltip with the local date and time of the row.
class ResultListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    /// Derives a cell's text from the row's record. It receives the logical column and the
    /// preset (empty) text, and replaces it or leaves it.
    using CellTextHandler =
        std::function<void(const ResultRecord& record, int column, QString& cellText)>;

    /// A stored row without decoding: the six texts as UTF-8 bytes pointing into the model's
    /// storage (valid until the next add()), in ResultRecord field order, and the sign.
    struct PackedRecord
    {
        /// Indexes of texts, in ResultRecord field order.
        enum Field
        {
            TimeOrNo,
            Type,
            Value,
            Unit,
            Temp,
            TempUnit
        };
        std::array<QByteArrayView, 6> texts;
        qint32 sign = 0;
        qint64 stampMs = 0;      ///< ResultRecord::StampMs
        qint32 utcOffsetSec = 0; ///< ResultRecord::UtcOffsetSec
    };

    /// Rows packed apart from any model, oldest first, to be added to one in a single step
    /// (see append()): the fast way to fill a list from stored rows.
    class PackedRows
    {
    public:
        /// Packs a row from its parts; the texts are copied.
        void add(const PackedRecord& row);
        qsizetype size() const { return static_cast<qsizetype>(m_offsets.size()); }

    private:
        friend class ResultListModel;
        std::vector<char> m_arena;
        std::vector<quint64> m_offsets;
    };

    explicit ResultListModel(ListKind kind, QObject* parent = nullptr);

    ListKind kind() const { return m_kind; }

    /// Adds a row: on top for Sample and Orp lists, at the bottom for the Downloaded list.
    void add(const ResultRecord& record);
    /// Adds \a rows as many add() calls would, oldest first, with one insertion for the view.
    void append(PackedRows&& rows);

    qsizetype size() const { return static_cast<qsizetype>(m_offsets.size()); }

    /// The record shown at \a viewRow (0 = top row).
    ResultRecord recordAtRow(qsizetype viewRow) const;
    /// The record in order of adding: 0 is the oldest sample, or the first record received.
    ResultRecord recordInOrder(qsizetype i) const;
    /// Like recordInOrder() but without building QStrings, for writing files fast.
    PackedRecord packedInOrder(qsizetype i) const;
    /// Bytes the rows take in storage: an upper bound of the total length of their texts.
    qsizetype storedBytes() const { return static_cast<qsizetype>(m_arena.size()); }

    /// Replaces the cell-text handler; an empty handler restores the kind's own rule.
    void setCellTextHandler(CellTextHandler handler);

    /// The text of a cell as the view shows it: the handler's answer for a preset empty text.
    QString cellText(qsizetype viewRow, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    void multiData(const QModelIndex& index, QModelRoleDataSpan roleDataSpan) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // Row layout codes, see the class comment.
    static constexpr unsigned char SignZero = 0;
    static constexpr unsigned char SignPlus = 1;
    static constexpr unsigned char SignMinus = 2;
    static constexpr unsigned char SignOther = 3;
    static constexpr unsigned char SignMask = 3;
    static constexpr unsigned char HasStamp = 1 << 2;
    static constexpr unsigned char QuarterOffset = 1 << 3;
    static constexpr unsigned char SecondOffset = 1 << 4;
    static constexpr unsigned char LongLength = 255;

    qsizetype storedIndex(qsizetype viewRow) const;
    QVariant toolTip(qsizetype viewRow, int column) const;
    static void appendHead(std::vector<char>& arena, qint32 sign, qint64 stampMs,
                           qint32 utcOffsetSec);
    static void appendLength(std::vector<char>& arena, quint64 length);
    void appendText(const QString& text);
    CellTextHandler defaultHandler() const;

    ListKind m_kind;
    CellTextHandler m_handler;
    std::vector<char> m_arena;
    std::vector<quint64> m_offsets; ///< start of each row in m_arena, oldest row first
};

// Inline: the text export decodes every row through it.
inline ResultListModel::PackedRecord ResultListModel::packedInOrder(qsizetype i) const
{
    Q_ASSERT(i >= 0 && i < size());
    PackedRecord packed;
    const char* p = m_arena.data() + m_offsets[static_cast<std::size_t>(i)];
    const auto head = static_cast<unsigned char>(*p++);
    switch (head & SignMask) {
    case SignPlus:
        packed.sign = 1;
        break;
    case SignMinus:
        packed.sign = -1;
        break;
    case SignOther:
        std::memcpy(&packed.sign, p, sizeof packed.sign);
        p += sizeof packed.sign;
        break;
    default:
        break;
    }
    if (head & HasStamp) {
        std::memcpy(&packed.stampMs, p, sizeof packed.stampMs);
        p += sizeof packed.stampMs;
    }
    if (head & QuarterOffset) {
        packed.utcOffsetSec = static_cast<qint32>(static_cast<signed char>(*p++)) * 900;
    } else if (head & SecondOffset) {
        std::memcpy(&packed.utcOffsetSec, p, sizeof packed.utcOffsetSec);
        p += sizeof packed.utcOffsetSec;
    }
    for (QByteArrayView& text : packed.texts) {
        quint64 length = static_cast<unsigned char>(*p++);
        if (length == LongLength) {
            std::memcpy(&length, p, sizeof length);
            p += sizeof length;
        }
        text = QByteArrayView(p, static_cast<qsizetype>(length));
        p += length;
    }
    return packed;
}

} // namespace pexumo
