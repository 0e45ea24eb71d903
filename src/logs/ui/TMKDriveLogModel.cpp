#include "logs/ui/TMKDriveLogModel.h"

#include <algorithm>
#include <climits>

TMKDriveLogModel::TMKDriveLogModel(TMKLogKind kind, QObject* parent)
    : QAbstractTableModel(parent), m_log(std::make_shared<TMKDriveLog>(kind))
{
}

void TMKDriveLogModel::setLog(std::shared_ptr<const TMKDriveLog> log)
{
    if (!log)
        log = std::make_shared<TMKDriveLog>(m_log->kind());
    beginResetModel();
    m_log = std::move(log);
    endResetModel();
}

void TMKDriveLogModel::setColumnNames(const QStringList& names)
{
    m_columnNames = names;
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int TMKDriveLogModel::rowCount(const QModelIndex& parent) const
{
    // A view counts rows in int; a log holding more is shown up to there.
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::int64_t>(m_log->count(), INT_MAX));
}

int TMKDriveLogModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_log->columnCount();
}

QVariant TMKDriveLogModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromStdString(m_log->cellText(index.row(), index.column()));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

QVariant TMKDriveLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return section < m_columnNames.size() ? m_columnNames.at(section)
                                              : QString::fromUtf8(m_log->format().columns[static_cast<std::size_t>(section)].title);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    case ColumnTagRole:
        return section;
    default:
        return {};
    }
}

Qt::ItemFlags TMKDriveLogModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
