#pragma once

#include <QAbstractButton>
#include <QString>

// A flat button showing one of the named images, lit on hover, darker while
// pressed, and marked while checked.
class TMKImageButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit TMKImageButton(const QString& image, QWidget* parent = nullptr);

    void setImage(const QString& image);
    [[nodiscard]] QString image() const { return m_image; }
    [[nodiscard]] QSize sizeHint() const override { return {28, 28}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_image;
    bool m_hovered = false;
};
