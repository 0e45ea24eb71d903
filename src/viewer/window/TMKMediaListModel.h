#pragma once

#include "media/TMKMediaHealth.h"

#include <QAbstractTableModel>
#include <QFuture>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TMKMediaList;

// The recording list as a table: mode (icon and text), date, time, file.
// Rows come straight from the catalogue; the row count is taken at each
// reload, so a scan publishing behind the view never changes the count
// the view was told.
//
// After each reload every recording is checked (TMKCheckMedia) on a worker
// of the shared pool; rows that cannot be played or read are greyed, carry
// a warning icon and the reason as their tooltip. A reload abandons the
// check of the rows before it, and results of an abandoned check are
// never shown on the new rows.
class TMKMediaListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ModeColumn = 0, DateColumn = 1, TimeColumn = 2, FileColumn = 3, ColumnCount = 4 };

    // The row's TMKMediaProblem as an int, None until it has been checked.
    static constexpr int ProblemRole = Qt::UserRole + 1;

    TMKMediaListModel(TMKMediaList* mediaList, QObject* parent = nullptr);
    ~TMKMediaListModel() override;

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

    [[nodiscard]] TMKMediaProblem problem(int row) const;
    // The reason as the user reads it; empty for a sound or unchecked row.
    [[nodiscard]] QString problemText(int row) const;
    [[nodiscard]] bool isChecking() const { return m_checking; }

signals:
    // Every row of the current reload has been checked.
    void healthChecked();

private:
    struct HealthResult {
        int row;
        TMKMediaProblem problem;
    };
    void startHealthCheck();
    void stopHealthCheck();
    void applyHealth(uint64_t generation, const std::vector<HealthResult>& results, bool last);

    TMKMediaList* m_mediaList;
    int m_rows = 0;
    // One byte per row, so the marks cost no more than the list.
    std::vector<TMKMediaProblem> m_problems;
    uint64_t m_generation = 0;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QFuture<void> m_check;
    bool m_checking = false;
    QStringList m_columnNames;
};
