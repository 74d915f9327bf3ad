#include "results/listid.h"

namespace pexumo {

namespace {
const std::array<const char*, ListCount> kNames{"pH",   "ORP", "COND", "TDS",
                                                "Salt", "DO",  "O2",   "Records"};
} // namespace

QString listName(ListId list)
{
    return QString::fromLatin1(kNames[indexOf(list)]);
}

std::optional<ListId> listFromName(QStringView name)
{
    for (ListId list : AllLists)
        if (name.compare(QLatin1StringView(kNames[indexOf(list)]), Qt::CaseInsensitive) == 0)
            return list;
    return std::nullopt;
}

ListKind listKind(ListId list)
{
    switch (list) {
    case ListId::ORP:
        return ListKind::Orp;
    case ListId::Records:
        return ListKind::Downloaded;
    default:
        return ListKind::Sample;
    }
}

} // namespace pexumo
