#pragma once

#include "kit/TMKSettingControllerDelegate.h"
#include "logs/TMKDriveLog.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QPushButton;
class TMKAlertService;
class TMKLoadingOverlay;
class QTableView;
class TMKDriveLogModel;
class TMKMapWindowController;
class TMKSettingHost;

// A drive log page: the log as a read-only table, "open" and "export"
// buttons, and a double click that shows the row's position in a map
// window beside the page's window. This page shows the flash data log; the
// OBD page is the same page over the OBD drive log.
class TMKSettingForFlashDataViewController : public QWidget, public TMKSettingControllerDelegate {
    Q_OBJECT

public:
    // The file choosers; empty members take the desktop's dialogs. Each
    // returns the chosen path, or an empty text when cancelled.
    struct Services {
        std::function<QString(QWidget* parent, const QString& filter)> openFileChooser;
        std::function<QString(QWidget* parent, const QString& proposedName)> saveFileChooser;
        std::shared_ptr<TMKAlertService> alerts; // empty: message boxes
    };

    explicit TMKSettingForFlashDataViewController(QWidget* parent = nullptr);
    ~TMKSettingForFlashDataViewController() override;

    void setServices(Services services);

    // Page protocol
    void setFileData(_FILEDATA* fileData) override;
    bool populate() override;
    [[nodiscard]] std::optional<QString> validateUserInput() override;
    void setMainController(TMKSettingHost* controller) override;
    void onHide() override;

    void displayFileData();
    void openFileDialog();
    void loadFlashDataFile();
    void doubleClickTableRow(int row);
    [[nodiscard]] QString openSavePanel();
    void onSaveCSVFile();
    // Writes the CSV aside and renames it over `path`; the failure, or none.
    [[nodiscard]] std::optional<QString> doWriteCSVFile(const QString& path) const;
    [[nodiscard]] QString stringForColumnIndex(int column, qint64 row) const;

    void setFlashDataFilePath(const QString& path) { m_FlashDataFilePath = path; }
    [[nodiscard]] const QString& flashDataFilePath() const { return m_FlashDataFilePath; }
    [[nodiscard]] qint64 flashDataNum() const { return m_FlashDataNum; }
    [[nodiscard]] bool flashDataAccess() const { return m_bFlashDataAccess; }
    [[nodiscard]] bool firstLoad() const { return m_firstLoad; }
    [[nodiscard]] TMKLogKind logKind() const { return m_kind; }
    [[nodiscard]] const QStringList& columnNames() const { return m_columnNames; }
    [[nodiscard]] const QList<int>& columnWidths() const { return m_columnWidths; }
    [[nodiscard]] QTableView* tableView() const { return m_tableView; }
    [[nodiscard]] QPushButton* openButton() const { return m_openButton; }
    [[nodiscard]] QPushButton* exportButton() const { return m_exportButton; }
    [[nodiscard]] TMKDriveLogModel* model() const { return m_model; }
    [[nodiscard]] TMKMapWindowController* mapWindowController() const { return m_mapWindowController.get(); }
    [[nodiscard]] TMKSettingHost* mainController() const;
    // Whether its own window shows the loading sheet.
    [[nodiscard]] bool isLoadingShown() const;

signals:
    // A read ended; count is -1 when the file could not be opened.
    void flashDataLoaded(qint64 count);
    // An export ended; `failure` is empty on success.
    void csvFileWritten(const QString& path, const QString& failure);

protected:
    TMKSettingForFlashDataViewController(TMKLogKind kind, QWidget* parent);

    // Message text of the alert about a missing log on the first showing.
    [[nodiscard]] virtual QString missingFileMessageText() const;
    // Filter of the open panel.
    [[nodiscard]] virtual QString openFileFilter() const;
    // A file the user chose in the open panel.
    virtual void openChosenFile(const QString& path);
    void alert(const QString& message, const QString& informative, bool success = false);
    [[nodiscard]] const Services& services() const { return m_services; }

private:
    void awakeFromNib();
    void makeColumnWithIndex(int index, const QString& title, int width);
    void fitColumnsToRows();
    void releaseMapWindowController();
    void showLoading(const QString& title);
    void hideLoading();
    void updateButtons();

    TMKLogKind m_kind;
    Services m_services;
    QString m_FlashDataFilePath;
    qint64 m_FlashDataNum = 0;
    bool m_bFlashDataAccess = false;
    bool m_firstLoad = true;
    bool m_busy = false;
    quint64 m_generation = 0;
    _FILEDATA* m_fileData = nullptr;
    QStringList m_columnNames;
    QList<int> m_columnWidths;
    QTableView* m_tableView = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_exportButton = nullptr;
    TMKLoadingOverlay* m_loading = nullptr; // in a window of its own only
    TMKDriveLogModel* m_model = nullptr;
    QPointer<TMKSettingHost> m_mainController;
    std::unique_ptr<TMKMapWindowController> m_mapWindowController;
};
