#include "settings/ui/TMKSegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

TMKSegmentedControl::TMKSegmentedControl(QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this)), m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idClicked, this, &TMKSegmentedControl::segmentClicked);
    setStyleSheet(QStringLiteral(
        "QPushButton { border: 1px solid #8a9098; padding: 3px 8px; background: #f4f5f7; color: #23262b; }"
        "QPushButton:checked { background: #4fa3e0; color: white; }"
        // The keyboard's place: a thick dark ring, plain on either fill; the
        // padding gives back the border's extra width so nothing moves.
        "QPushButton:focus { border: 3px solid #0b3d91; padding: 1px 6px; }"
        "QPushButton:disabled { color: #a0a4aa; }"
        "QPushButton:checked:disabled { background: #a9c9e2; }"));
}

void TMKSegmentedControl::setSegmentCount(int count)
{
    while (segmentCount() > count) {
        QAbstractButton* button = m_group->button(segmentCount() - 1);
        m_group->removeButton(button);
        delete button;
    }
    while (segmentCount() < count) {
        auto* button = new QPushButton(this);
        button->setCheckable(true);
        // A click gives focus too, so the arrows then move between the
        // segments instead of going on to the tab row.
        button->setFocusPolicy(Qt::StrongFocus);
        m_group->addButton(button, segmentCount());
        m_layout->addWidget(button);
    }
}

int TMKSegmentedControl::segmentCount() const
{
    return static_cast<int>(m_group->buttons().size());
}

void TMKSegmentedControl::setLabel(const QString& label, int segment)
{
    if (QAbstractButton* button = m_group->button(segment))
        button->setText(label);
}

QString TMKSegmentedControl::label(int segment) const
{
    const QAbstractButton* button = m_group->button(segment);
    return button ? button->text() : QString();
}

int TMKSegmentedControl::selectedSegment() const
{
    return m_group->checkedId();
}

void TMKSegmentedControl::setSelectedSegment(int segment)
{
    if (QAbstractButton* button = m_group->button(segment))
        button->setChecked(true);
}

void TMKSegmentedControl::clickSegment(int segment)
{
    if (QAbstractButton* button = m_group->button(segment))
        button->click();
}

void TKSetSegmentLabels(TMKSegmentedControl* control, const QStringList& labels)
{
    control->setSegmentCount(static_cast<int>(labels.size()));
    for (int i = 0; i < labels.size(); ++i)
        control->setLabel(labels[i], i);
}
