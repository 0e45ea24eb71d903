#include "viewer/window/TMKMediaListModel.h"

#include "media/TMKMediaList.h"
#include "strings/TMKStrings.h"
#include "viewer/player/TMKRecordingCheck.h"
#include "widgets/TMKImages.h"

#include <QApplication>
#include <QBrush>
#include <QFont>
#include <QFontDatabase>
#include <QHash>
#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QtConcurrent/QtConcurrentRun>

#include <limits>

namespace {

QString modeKey(TMKMediaDivision division)
{
    switch (division) {
    case TMKMediaDivisionAlways: return QStringLiteral("media.always");
    case TMKMediaDivisionMotion: return QStringLiteral("media.motion");
    case TMKMediaDivisionEvent: return QStringLiteral("media.event");
    }
    return QStringLiteral("media.unknown");
}

// Icons are drawn once per name.
QIcon iconNamed(const QString& name)
{
    static QHash<QString, QIcon> cache;
    auto found = cache.find(name);
    if (found == cache.end()) {
        QIcon icon;
        for (int side : {16, 32})
            icon.addPixmap(QPixmap::fromImage(TMKImageNamed(name, QSize(side, side))));
        found = cache.insert(name, icon);
    }
    return *found;
}

// Results reach the list in batches: few events for a card of thousands,
// yet the first marks show while the rest is still being read.
constexpr std::size_t kHealthBatch = 32;

} // namespace

TMKMediaListModel::TMKMediaListModel(TMKMediaList* mediaList, QObject* parent)
    : QAbstractTableModel(parent), m_mediaList(mediaList)
{
    for (const char* key : {"filelist.mode", "filelist.date", "filelist.time", "filelist.file"})
        m_columnNames << TMKLocalizedString(key);
    reload();
}

TMKMediaListModel::~TMKMediaListModel()
{
    // Results posted after this are dropped with the model's events.
    stopHealthCheck();
    m_check.waitForFinished();
}

void TMKMediaListModel::reload()
{
    stopHealthCheck();
    beginResetModel();
    const std::size_t count = m_mediaList ? m_mediaList->count() : 0;
    m_rows = static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
    m_problems.assign(static_cast<std::size_t>(m_rows), TMKMediaProblem::None);
    endResetModel();
    startHealthCheck();
}

void TMKMediaListModel::stopHealthCheck()
{
    if (m_cancel)
        m_cancel->store(true);
    m_cancel.reset();
    m_checking = false;
    ++m_generation;
}

void TMKMediaListModel::startHealthCheck()
{
    if (m_rows == 0)
        return;
    // The paths are taken now: the catalogue may publish another scan while
    // the worker reads.
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(m_rows));
    for (int row = 0; row < m_rows; ++row) {
        const auto media = m_mediaList->mediaAtIndex(static_cast<std::size_t>(row));
        paths.push_back(media ? media->path : std::string());
    }
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_cancel = cancel;
    m_checking = true;
    const uint64_t generation = m_generation;
    m_check = QtConcurrent::run([this, cancel, generation, paths = std::move(paths)] {
        std::vector<HealthResult> batch;
        for (std::size_t row = 0; row < paths.size(); ++row) {
            if (cancel->load())
                return;
            if (!paths[row].empty()) {
                const TMKMediaProblem problem = TMKCheckMedia(paths[row]).problem;
                if (problem != TMKMediaProblem::None)
                    batch.push_back({static_cast<int>(row), problem});
            }
            const bool last = row + 1 == paths.size();
            if (batch.size() >= kHealthBatch || last) {
                if (cancel->load())
                    return;
                QMetaObject::invokeMethod(
                    this, [this, generation, results = std::move(batch), last] { applyHealth(generation, results, last); },
                    Qt::QueuedConnection);
                batch = {};
            }
        }
    });
}

void TMKMediaListModel::applyHealth(uint64_t generation, const std::vector<HealthResult>& results, bool last)
{
    // A reload since: these rows are another catalogue's.
    if (generation != m_generation)
        return;
    for (const HealthResult& result : results) {
        if (result.row < 0 || result.row >= m_rows)
            continue;
        m_problems[static_cast<std::size_t>(result.row)] = result.problem;
        emit dataChanged(index(result.row, 0), index(result.row, ColumnCount - 1));
    }
    if (last) {
        m_checking = false;
        emit healthChecked();
    }
}

TMKMediaProblem TMKMediaListModel::problem(int row) const
{
    if (row < 0 || row >= m_rows || static_cast<std::size_t>(row) >= m_problems.size())
        return TMKMediaProblem::None;
    return m_problems[static_cast<std::size_t>(row)];
}

QString TMKMediaListModel::problemText(int row) const
{
    return TMKMediaProblemText(problem(row));
}

int TMKMediaListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TMKMediaListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TMKMediaListModel::identifier(int column)
{
    switch (column) {
    case ModeColumn: return QStringLiteral("saveMode");
    case DateColumn: return QStringLiteral("date");
    case TimeColumn: return QStringLiteral("time");
    case FileColumn: return QStringLiteral("file");
    default: return {};
    }
}

QString TMKMediaListModel::iconName(int row) const
{
    if (!m_mediaList || row < 0 || row >= m_rows)
        return {};
    const auto media = m_mediaList->mediaAtIndex(static_cast<std::size_t>(row));
    if (!media)
        return {};
    QString camera;
    if (media->mediaDirection == TMKMediaDirectionFront)
        camera = QStringLiteral("front");
    else if (media->mediaDirection == TMKMediaDirectionRear)
        camera = QStringLiteral("rear");
    QString mode;
    switch (media->mediaDivision) {
    case TMKMediaDivisionAlways: mode = QStringLiteral("alwa"); break;
    case TMKMediaDivisionMotion: mode = QStringLiteral("motion"); break;
    case TMKMediaDivisionEvent: mode = QStringLiteral("event"); break;
    }
    if (camera.isEmpty() || mode.isEmpty())
        return {};
    return QStringLiteral("car_%1_%2").arg(camera, mode);
}

QVariant TMKMediaListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_mediaList || index.row() >= m_rows)
        return {};
    if (role == Qt::TextAlignmentRole) {
        const Qt::Alignment alignment = index.column() == FileColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                                     : Qt::AlignCenter;
        return QVariant::fromValue(alignment);
    }
    if (role == Qt::FontRole) {
        // 11 points of the camera's desktop are 11 pixels here.
        QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setPixelSize(11);
        return font;
    }
    if (role == ProblemRole)
        return static_cast<int>(problem(index.row()));
    const bool damaged = problem(index.row()) != TMKMediaProblem::None;
    if (role == Qt::ForegroundRole) {
        if (!damaged)
            return {};
        return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    }
    if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != Qt::ToolTipRole)
        return {};
    const auto media = m_mediaList->mediaAtIndex(static_cast<std::size_t>(index.row()));
    if (!media)
        return {};
    if (role == Qt::DecorationRole) {
        if (index.column() != ModeColumn)
            return {};
        if (damaged)
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        const QString name = iconName(index.row());
        return name.isEmpty() ? QVariant() : QVariant(iconNamed(name));
    }
    if (role == Qt::ToolTipRole) {
        const QString path = QString::fromStdString(media->path);
        return damaged ? TMKLocalizedString("filelist.damaged").arg(path, problemText(index.row())) : path;
    }
    switch (index.column()) {
    case ModeColumn: return TMKLocalizedString(modeKey(media->mediaDivision));
    case DateColumn:
        return media->year >= 1 ? QString::asprintf("%04d-%02d-%02d", media->year, media->month, media->day)
                                : QString();
    case TimeColumn:
        return media->year >= 1 ? QString::asprintf("%02d:%02d:%02d", media->hour, media->minute, media->second)
                                : QString();
    case FileColumn: return QString::fromStdString(media->fileName());
    default: return {};
    }
}

QVariant TMKMediaListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_columnNames.value(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == FileColumn ? Qt::AlignLeft | Qt::AlignVCenter : Qt::Alignment(Qt::AlignCenter));
    if (role == Qt::UserRole)
        return section; // the column's tag
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TMKMediaListModel::flags(const QModelIndex& index) const
{
    // Selectable, never editable; dropping files on the list opens nothing.
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
