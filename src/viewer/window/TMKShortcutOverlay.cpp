#include "viewer/window/TMKShortcutOverlay.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

TMKShortcutOverlay::TMKShortcutOverlay(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("shortcutOverlay"));
    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("shortcutPanel"));
    m_panel->setAttribute(Qt::WA_StyledBackground);
    auto* column = new QVBoxLayout(m_panel);
    column->setContentsMargins(20, 14, 20, 16);
    m_title = new QLabel(m_panel);
    m_title->setObjectName(QStringLiteral("shortcutTitle"));
    column->addWidget(m_title);
    m_grid = new QGridLayout;
    m_grid->setHorizontalSpacing(18);
    m_grid->setVerticalSpacing(3);
    column->addLayout(m_grid);
    auto* centre = new QGridLayout(this);
    centre->addWidget(m_panel, 0, 0, Qt::AlignCenter);
    hide();
}

void TMKShortcutOverlay::setRows(const QString& title, const QList<Row>& rows)
{
    m_title->setText(title);
    qDeleteAll(m_keyLabels);
    qDeleteAll(m_descriptionLabels);
    m_keyLabels.clear();
    m_descriptionLabels.clear();
    int line = 0;
    for (const Row& row : rows) {
        auto* keys = new QLabel(row.keys, m_panel);
        keys->setObjectName(QStringLiteral("shortcutKeys"));
        keys->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* description = new QLabel(row.description, m_panel);
        description->setObjectName(QStringLiteral("shortcutDescription"));
        m_grid->addWidget(keys, line, 0);
        m_grid->addWidget(description, line, 1);
        m_keyLabels << keys;
        m_descriptionLabels << description;
        ++line;
    }
}

QList<TMKShortcutOverlay::Row> TMKShortcutOverlay::shownRows() const
{
    QList<Row> rows;
    for (qsizetype i = 0; i < m_keyLabels.size(); ++i)
        rows.push_back({m_keyLabels[i]->text(), m_descriptionLabels[i]->text()});
    return rows;
}

void TMKShortcutOverlay::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 150));
}

void TMKShortcutOverlay::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    emit dismissed();
}
