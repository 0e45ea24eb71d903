#pragma once

#include "logs/TMKDriveLog.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>

// A log as a table. Cells are rendered from the records when the view asks
// for them, so only the visible rows ever become text.
class TMKDriveLogModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The header tag of a column: its index in the log's column table.
    static constexpr int ColumnTagRole = Qt::UserRole + 1;

    explicit TMKDriveLogModel(TMKLogKind kind, QObject* parent = nullptr);

    void setLog(std::shared_ptr<const TMKDriveLog> log);
    [[nodiscard]] const std::shared_ptr<const TMKDriveLog>& log() const { return m_log; }
    void setColumnNames(const QStringList& names);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::shared_ptr<const TMKDriveLog> m_log;
    QStringList m_columnNames;
};
