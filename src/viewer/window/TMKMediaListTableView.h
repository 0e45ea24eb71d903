#pragma once

#include <QTableView>

// The recording list. A row is chosen for playing by a mouse double-click or
// by Enter/Return, and each choice is reported exactly once: the base class
// reports a double-click both as doubleClicked and as activated, which
// started a pair twice.
class TMKMediaListTableView : public QTableView {
    Q_OBJECT

public:
    using QTableView::QTableView;

signals:
    void rowChosen(int row);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
