#include "viewer/window/TMKSidePanel.h"

#include "strings/TMKStrings.h"
#include "viewer/telemetry/TMKTelemetryDisplay.h"
#include "viewer/window/TMKMediaListTableView.h"
#include "viewer/window/TMKNamedWidgets.h"
#include "widgets/TMKImageButton.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include <iterator>

namespace {

constexpr int kListRowHeight = 20;
constexpr QSize kListIconSize{14, 14};
// Mode, date and time columns; the file name takes the rest.
constexpr int kListColumnWidths[] = {72, 70, 56};

} // namespace

TMKSidePanel::TMKSidePanel(QWidget* buttonBox, QWidget* listBox, QAction* exportAction, QObject* parent)
    : QObject(parent), m_listBox(listBox)
{
    m_recordButton = new TMKImageButton(QStringLiteral("record"), buttonBox);
    m_recordButton->setObjectName(QStringLiteral("recordButton"));
    m_recordButton->setToolTip(TMKLocalizedString("main.list"));
    connect(m_recordButton, &QAbstractButton::clicked, this, &TMKSidePanel::listViewRequested);
    m_informationButton = new TMKImageButton(QStringLiteral("information"), buttonBox);
    m_informationButton->setObjectName(QStringLiteral("informationButton"));
    m_informationButton->setToolTip(TMKLocalizedString("main.map"));
    connect(m_informationButton, &QAbstractButton::clicked, this, &TMKSidePanel::mapViewRequested);
    buildList(exportAction);
    buildMapContainer();
    setView(View::List);
}

void TMKSidePanel::buildList(QAction* exportAction)
{
    auto* table = new TMKMediaListTableView(m_listBox);
    m_tableView = table;
    m_tableView->setObjectName(QStringLiteral("mediaListTableView"));
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setAlternatingRowColors(true);
    m_tableView->setShowGrid(false);
    m_tableView->verticalHeader()->hide();
    m_tableView->verticalHeader()->setDefaultSectionSize(kListRowHeight);
    m_tableView->setAcceptDrops(false);
    m_tableView->setDragDropMode(QAbstractItemView::NoDragDrop);
    connect(table, &TMKMediaListTableView::rowChosen, this, [this] { emit rowActivated(currentRow()); });
    // Until a folder is open the list is empty: say how to fill it.
    m_openFolderHint = makeLabel(m_tableView->viewport(), TMKLocalizedString("main.open_folder_hint"), "openFolderHint");
    m_openFolderHint->setAlignment(Qt::AlignCenter);
    m_openFolderHint->setWordWrap(true);
    m_openFolderHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    (new QVBoxLayout(m_tableView->viewport()))->addWidget(m_openFolderHint);
    // The list's menu: a menu opened on a row acts on that row, whatever
    // plays; off the rows it is the window's own action.
    m_tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tableView, &QWidget::customContextMenuRequested, this, [this, exportAction](const QPoint& at) {
        auto* menu = new QMenu(m_tableView);
        menu->setObjectName(QStringLiteral("mediaListMenu"));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        const QModelIndex index = m_tableView->indexAt(at);
        if (!index.isValid()) {
            menu->addAction(exportAction);
        } else {
            m_tableView->selectRow(index.row());
            QAction* onRow = menu->addAction(exportAction->text());
            onRow->setObjectName(QStringLiteral("exportRowTrackAction"));
            const int row = index.row();
            connect(onRow, &QAction::triggered, this, [this, row] { emit exportRowTrackRequested(row); });
        }
        menu->popup(m_tableView->viewport()->mapToGlobal(at));
    });
}

// Speed, HDOP and satellites under the map, each with its caption.
void TMKSidePanel::buildMapContainer()
{
    m_mapContainerView = makeBox(m_listBox, "mapContainerView");
    m_mapContainerTopView = makeBox(m_mapContainerView, "mapContainerTopView");
    m_mapContainerBottomView = makeBox(m_mapContainerView, "mapContainerBottomView");
    const char* const captions[3] = {"main.speed", "main.hdop", "main.satellites"};
    const char* const names[3] = {"speedField", "hdopField", "sateliteField"};
    for (int column = 0; column < 3; ++column) {
        m_fieldCaptions[column] = makeLabel(m_mapContainerBottomView, TMKLocalizedString(captions[column]), "fieldCaption");
        m_fieldCaptions[column]->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        m_fields[column] = makeLabel(m_mapContainerBottomView, QString(), names[column]);
        m_fields[column]->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
}

void TMKSidePanel::layOut(const TMKWindowLayout& layout)
{
    m_fullScreen = layout.fullScreen;
    m_tableView->setGeometry(QRect(QPoint(0, 0), layout.mediaListBox.size()));
    layOutMapContainer();
    m_recordButton->setGeometry(layout.sideButtons.list);
    m_informationButton->setGeometry(layout.sideButtons.map);
}

// The map fills the list box above its readout strip; the list fills it
// alone. Skipped in full screen, where the panel is not shown.
void TMKSidePanel::layOutMapContainer()
{
    if (m_fullScreen)
        return;
    const QSize box = m_listBox->size();
    if (m_view == View::List) {
        m_tableView->setGeometry(QRect(QPoint(0, 0), box));
        return;
    }
    const TMKWindowLayout::MapPanel p = TMKWindowLayout::mapPanel(box);
    m_mapContainerView->setGeometry(QRect(QPoint(0, 0), box));
    m_mapContainerTopView->setGeometry(p.top);
    m_mapContainerBottomView->setGeometry(p.strip);
    if (m_mapView)
        m_mapView->setGeometry(QRect(QPoint(0, 0), p.top.size()));
    for (int column = 0; column < 3; ++column) {
        m_fieldCaptions[column]->setGeometry(p.caption[column]);
        m_fields[column]->setGeometry(p.value[column]);
    }
}

void TMKSidePanel::setListModel(QAbstractItemModel* model)
{
    m_tableView->setModel(model);
    for (int column = 0; column < static_cast<int>(std::size(kListColumnWidths)); ++column)
        m_tableView->setColumnWidth(column, kListColumnWidths[column]);
    m_tableView->setIconSize(kListIconSize);
    // A long name keeps its end (camera and extension) in view.
    m_tableView->setTextElideMode(Qt::ElideLeft);
    m_tableView->horizontalHeader()->setStretchLastSection(true);
}

void TMKSidePanel::selectRow(int row)
{
    if (!m_tableView->model() || !m_tableView->selectionModel())
        return;
    const QModelIndex index = m_tableView->model()->index(row, 0);
    m_tableView->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_tableView->scrollTo(index);
}

int TMKSidePanel::currentRow() const
{
    return m_tableView->currentIndex().row();
}

void TMKSidePanel::hideOpenFolderHint()
{
    m_openFolderHint->hide();
}

void TMKSidePanel::setView(View view)
{
    m_view = view;
    const bool list = view == View::List;
    m_recordButton->setImage(list ? QStringLiteral("record_p.png") : QStringLiteral("record_n.png"));
    m_informationButton->setImage(list ? QStringLiteral("information_n.png") : QStringLiteral("information_p.png"));
    m_mapContainerView->setVisible(!list);
    m_tableView->setVisible(list);
    if (!list)
        m_mapContainerView->raise();
    layOutMapContainer();
}

void TMKSidePanel::setMapView(QWidget* view)
{
    m_mapView = view;
    view->setParent(m_mapContainerTopView);
    view->setGeometry(QRect(QPoint(0, 0), m_mapContainerTopView->size()));
    view->show();
}

void TMKSidePanel::showReadout(const TMKTelemetryReadout& readout)
{
    const std::optional<QString>* const values[3] = {&readout.speed, &readout.hdop, &readout.satellites};
    for (int column = 0; column < 3; ++column) {
        if (*values[column])
            m_fields[column]->setText(**values[column]);
    }
}

void TMKSidePanel::resetReadouts()
{
    for (QLabel* field : m_fields)
        field->clear();
}

QString TMKSidePanel::speedText() const
{
    return m_fields[0]->text();
}

QString TMKSidePanel::hdopText() const
{
    return m_fields[1]->text();
}

QString TMKSidePanel::satelliteText() const
{
    return m_fields[2]->text();
}
