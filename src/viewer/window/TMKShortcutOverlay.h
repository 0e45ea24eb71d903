#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QGridLayout;
class QLabel;

// The list of shortcuts over the window: a dimmed backdrop with a panel of
// keys and what they do. The window fills it from its action table and
// styles it with its own sheet; a click anywhere dismisses it (the window's
// keys do the rest).
class TMKShortcutOverlay : public QWidget {
    Q_OBJECT

public:
    struct Row {
        QString keys;
        QString description;
        friend bool operator==(const Row&, const Row&) = default;
    };

    explicit TMKShortcutOverlay(QWidget* parent = nullptr);

    void setRows(const QString& title, const QList<Row>& rows);
    // What the panel shows, read back from its labels.
    [[nodiscard]] QList<Row> shownRows() const;

signals:
    void dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QWidget* m_panel = nullptr;
    QLabel* m_title = nullptr;
    QGridLayout* m_grid = nullptr;
    QList<QLabel*> m_keyLabels;
    QList<QLabel*> m_descriptionLabels;
};
