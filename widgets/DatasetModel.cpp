// Dataset model.
#include "widgets/DatasetModel.h"

namespace Widgets {

TDatasetModel::TDatasetModel(Data::TDataset* dataset, QList<TColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), m_dataset(dataset), m_columns(std::move(columns)) {
    resolveFields();
    connect(m_dataset, &Data::TDataset::DataReset, this, &TDatasetModel::reset);
}

void TDatasetModel::resolveFields() {
    m_dateFormat = Platform::TDateFormat();
    m_fieldIndex.clear();
    for (const TColumn& c : m_columns)
        m_fieldIndex.append(m_dataset->Active() ? m_dataset->FieldIndex(c.field) : -1);
}

void TDatasetModel::reset() {
    beginResetModel();
    resolveFields();
    endResetModel();
}

int TDatasetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_dataset->Active())
        return 0;
    return m_dataset->RecordCount();
}

int TDatasetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QString TDatasetModel::cellText(int row, int column) const {
    const int field = m_fieldIndex.value(column, -1);
    if (field < 0 || row < 0 || row >= rowCount())
        return {};
    const QVariant v = m_dataset->Value(row, field);
    switch (m_columns[column].kind) {
    case TColumn::Kind::Date:
        return v.isNull() ? QString() : m_dateFormat.Text(Platform::IsoToDate(v.toString()));
    case TColumn::Kind::Time:
        return v.isNull() ? QString() : Platform::TimeToStr(Platform::IsoToTime(v.toString()));
    case TColumn::Kind::Text:
        break;
    }
    return v.toString();
}

QVariant TDatasetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const TColumn& column = m_columns[index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::ToolTipRole:
        if (column.toolTip) {
            const QString text = cellText(index.row(), index.column());
            return text.isEmpty() ? QVariant() : QVariant(text);
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.alignment);
    case Qt::FontRole:
        if (column.bold) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::BackgroundRole:
        if (rowColor) {
            const QColor c = rowColor(index.row());
            if (c.isValid())
                return c;
        }
        return {};
    default:
        return {};
    }
}

QVariant TDatasetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_columns[section].title;
    case Qt::FontRole:
        return titleFont;
    case Qt::ForegroundRole:
        return titleColor.isValid() ? QVariant(titleColor) : QVariant();
    default:
        return {};
    }
}

} // namespace Widgets
