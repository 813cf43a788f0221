// Sort marker transitions.
#include "widgets/SortMarkers.h"

namespace Widgets {

int TSortMarkers::sortedCount() const {
    int n = 0;
    for (Marker m : m_marker)
        n += m != Marker::None;
    return n;
}

void TSortMarkers::click(int column, bool ctrl) {
    if (column < 0 || column >= count())
        return;
    if (!ctrl) {
        const Marker old = m_marker[column];
        for (int c = 0; c < count(); ++c) {
            m_marker[c] = Marker::None;
            m_place[c] = 0;
        }
        m_marker[column] = old == Marker::Ascending ? Marker::Descending : Marker::Ascending;
        m_place[column] = 1;
        return;
    }
    switch (m_marker[column]) {
    case Marker::None:
        m_place[column] = sortedCount() + 1;
        m_marker[column] = Marker::Ascending;
        break;
    case Marker::Ascending:
        m_marker[column] = Marker::Descending;
        break;
    case Marker::Descending: {
        const int gone = m_place[column];
        m_marker[column] = Marker::None;
        m_place[column] = 0;
        for (int c = 0; c < count(); ++c)
            if (m_place[c] > gone)
                --m_place[c];
        break;
    }
    }
}

QString TSortMarkers::sortList(const QStringList& fields) const {
    QString list;
    for (int p = 1; p <= count(); ++p) {
        for (int c = 0; c < count(); ++c) {
            if (m_place[c] != p || m_marker[c] == Marker::None)
                continue;
            if (!list.isEmpty())
                list += QStringLiteral(" , ");
            list += fields.value(c);
            if (m_marker[c] == Marker::Descending)
                list += QStringLiteral(" DESC");
        }
    }
    return list;
}

} // namespace Widgets
