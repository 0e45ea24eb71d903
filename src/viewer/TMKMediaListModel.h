#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <cstddef>

class TMKMediaList;

// The recording list as a table: mode (icon and text), date, time, file.
// Rows come straight from the catalogue; the row count is taken at each
// reload, so a scan publishing behind the view never changes the count
// the view was told.
class TMKMediaListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ModeColumn = 0, DateColumn = 1, TimeColumn = 2, FileColumn = 3, ColumnCount = 4 };

    TMKMediaListModel(TMKMediaList* mediaList, QObject* parent = nullptr);

    // The catalogue changed: show its rows now.
    void reload();

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    [[nodiscard]] Qt::DropActions supportedDropActions() const override { return Qt::IgnoreAction; }

    // The column's identifier: "saveMode", "date", "time", "file".
    [[nodiscard]] static QString identifier(int column);
    // The image name of a row's mode icon ("car_front_alwa"...); empty for
    // an unknown camera or mode.
    [[nodiscard]] QString iconName(int row) const;

private:
    TMKMediaList* m_mediaList;
    int m_rows = 0;
    QStringList m_columnNames;
};
