#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QHBoxLayout;

// A row of joined buttons of which one is selected.
class TMKSegmentedControl : public QWidget {
    Q_OBJECT

public:
    explicit TMKSegmentedControl(QWidget* parent = nullptr);

    void setSegmentCount(int count);
    [[nodiscard]] int segmentCount() const;
    void setLabel(const QString& label, int segment);
    [[nodiscard]] QString label(int segment) const;
    [[nodiscard]] int selectedSegment() const;
    void setSelectedSegment(int segment);
    // As a user click: select, then tell.
    void clickSegment(int segment);

signals:
    void segmentClicked(int segment);

private:
    QButtonGroup* m_group;
    QHBoxLayout* m_layout;
};

// Gives the control exactly these segments, labelled in order.
void TKSetSegmentLabels(TMKSegmentedControl* control, const QStringList& labels);
