#pragma once

#include "viewer/window/TMKWindowLayout.h"

#include <QObject>
#include <QPointer>

class QAbstractItemModel;
class QAction;
class QLabel;
class QTableView;
class QWidget;
class TMKImageButton;
struct TMKTelemetryReadout;

// The side panel's content, built into the window's boxes for it: the list
// and map buttons, the recording list (with its hint while no folder is
// open and its menu) and, over the list, the map container with the speed,
// HDOP and satellite readouts under the map.
class TMKSidePanel : public QObject {
    Q_OBJECT

public:
    enum class View { List, Map };

    // `exportAction` is the window's own: the list's menu offers it, on the
    // row the menu was opened on.
    TMKSidePanel(QWidget* buttonBox, QWidget* listBox, QAction* exportAction, QObject* parent);

    void layOut(const TMKWindowLayout& layout);

    [[nodiscard]] QTableView* tableView() const { return m_tableView; }
    void setListModel(QAbstractItemModel* model);
    void selectRow(int row);
    [[nodiscard]] int currentRow() const; // -1 when none
    void hideOpenFolderHint();

    void setView(View view);
    [[nodiscard]] View view() const { return m_view; }
    // The map page's view; it stays its maker's to delete.
    void setMapView(QWidget* view);
    [[nodiscard]] QWidget* mapContainer() const { return m_mapContainerTopView; }

    // The GPS part of a readout; what it leaves out stays.
    void showReadout(const TMKTelemetryReadout& readout);
    void resetReadouts();
    [[nodiscard]] QString speedText() const;
    [[nodiscard]] QString hdopText() const;
    [[nodiscard]] QString satelliteText() const;

signals:
    void listViewRequested();
    void mapViewRequested();
    void rowActivated(int row);
    void exportRowTrackRequested(int row);

private:
    void buildList(QAction* exportAction);
    void buildMapContainer();
    void layOutMapContainer();

    QWidget* m_listBox;
    TMKImageButton* m_recordButton = nullptr;
    TMKImageButton* m_informationButton = nullptr;
    QTableView* m_tableView = nullptr;
    QLabel* m_openFolderHint = nullptr;
    QWidget* m_mapContainerView = nullptr;
    QWidget* m_mapContainerTopView = nullptr;
    QWidget* m_mapContainerBottomView = nullptr;
    QPointer<QWidget> m_mapView;
    QLabel* m_fieldCaptions[3] = {};
    QLabel* m_fields[3] = {}; // speed, HDOP, satellites
    View m_view = View::List;
    bool m_fullScreen = false;
};
