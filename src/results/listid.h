#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace pexumo {

/// Which of the eight lists a model backs: the six sample lists (pH, COND, TDS, Salt, DO, O2),
/// the ORP list, or the downloaded-record list. The kind fixes the columns, the cell-text rule,
/// where a new row goes and the layout of the saved file.
enum class ListKind
{
    Sample,
    Orp,
    Downloaded
};

/// The eight result lists, in the order the program has always numbered them: the seven
/// measured parameters, then the meter's memory records. The journal stores this number, so the
/// order never changes.
enum class ListId
{
    PH,
    ORP,
    COND,
    TDS,
    Salt,
    DO,
    O2,
    Records
};

inline constexpr int ListCount = 8;

inline constexpr std::array<ListId, ListCount> AllLists{ListId::PH,  ListId::ORP,    ListId::COND,
                                                        ListId::TDS, ListId::Salt,   ListId::DO,
                                                        ListId::O2,  ListId::Records};

/// The seven measured parameters, each with a small and a big chart and the list of the same
/// number.
enum class Parameter
{
    PH,
    ORP,
    COND,
    TDS,
    Salt,
    DO,
    O2
};

inline constexpr int ParameterCount = 7;

inline constexpr std::array<Parameter, ParameterCount> AllParameters{
    Parameter::PH,   Parameter::ORP, Parameter::COND, Parameter::TDS,
    Parameter::Salt, Parameter::DO,  Parameter::O2};

/// The list a parameter's samples go to.
constexpr ListId listOf(Parameter parameter)
{
    return static_cast<ListId>(static_cast<int>(parameter));
}

/// The parameter of a list; none for the records.
constexpr std::optional<Parameter> parameterOf(ListId list)
{
    if (list == ListId::Records)
        return std::nullopt;
    return static_cast<Parameter>(static_cast<int>(list));
}

/// The position of a list in arrays of ListCount, and the number the journal stores.
constexpr std::size_t indexOf(ListId list)
{
    return static_cast<std::size_t>(list);
}
constexpr std::size_t indexOf(Parameter parameter)
{
    return static_cast<std::size_t>(parameter);
}

/// The list of a stored number; none outside 0..7.
constexpr std::optional<ListId> listFromIndex(qint64 index)
{
    if (index < 0 || index >= ListCount)
        return std::nullopt;
    return static_cast<ListId>(index);
}

/// "pH", "ORP", "COND", "TDS", "Salt", "DO", "O2" or "Records".
QString listName(ListId list);
/// The list of a name, in any letter case; none when there is none.
std::optional<ListId> listFromName(QStringView name);
/// The columns, cell rule and file layout of a list: the ORP list has its own, the records
/// theirs, every other parameter the sample kind.
ListKind listKind(ListId list);

} // namespace pexumo
