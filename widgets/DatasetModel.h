// Qt model over a dataset, so that views are data-aware: a reset of the dataset resets the views, a
// posted row repaints its row.
#pragma once

#include "data/Dataset.h"
#include "platform/Locale.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>

#include <functional>

namespace Widgets {

struct TColumn {
    enum class Kind { Text, Date, Time };
    QString field;
    QString title;
    int width = 64;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool bold = false;
    Kind kind = Kind::Text;
    bool toolTip = false; // full text as tool tip
};

class TDatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TDatasetModel(Data::TDataset* dataset, QList<TColumn> columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const QList<TColumn>& columns() const { return m_columns; }
    Data::TDataset* dataset() const { return m_dataset; }
    // Text of one cell as the grid shows it.
    QString cellText(int row, int column) const;

    // Background of a row (row index from 0); an invalid colour leaves the view's own.
    std::function<QColor(int row)> rowColor;
    QFont titleFont;
    QColor titleColor;

private:
    void reset();
    void resolveFields();

    Data::TDataset* m_dataset;
    QList<TColumn> m_columns;
    QVector<int> m_fieldIndex;
    Platform::TDateFormat m_dateFormat; // taken again at every reset
};

} // namespace Widgets
