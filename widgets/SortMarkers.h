// Sort markers of a grid's column titles: none, ascending or descending, and for each sorted column its
// place among the sorted columns (1, 2, ...).
#pragma once

#include <QStringList>
#include <QVector>

namespace Widgets {

class TSortMarkers {
public:
    enum class Marker { None, Ascending, Descending };

    explicit TSortMarkers(int columns = 0) : m_marker(columns, Marker::None), m_place(columns, 0) {}

    int count() const { return static_cast<int>(m_marker.size()); }
    Marker marker(int column) const { return m_marker[column]; }
    int place(int column) const { return m_place[column]; }
    int sortedCount() const;

    // A title click. Without Ctrl the clicked column becomes the only sorted one and turns
    // none → ascending → descending → ascending; with Ctrl the others stay and it turns
    // none → ascending → descending → none, a new one taking the place after the last.
    void click(int column, bool ctrl);

    // The fields of the sorted columns in place order, " DESC" after descending ones, joined by " , ".
    QString sortList(const QStringList& fields) const;

private:
    QVector<Marker> m_marker;
    QVector<int> m_place;
};

} // namespace Widgets
