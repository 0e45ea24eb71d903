#pragma once

#include <QString>
#include <QWidget>

// What a video area shows while its video is hidden: a background filling
// the area and a logo centred on it at a fixed share of the area.
class TMKLogoView : public QWidget {
    Q_OBJECT

public:
    explicit TMKLogoView(QWidget* parent = nullptr);

    void setBackgroundImage(const QString& image);
    void setLogoImage(const QString& image);
    [[nodiscard]] QString backgroundImage() const { return m_background; }
    [[nodiscard]] QString logoImage() const { return m_logo; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_background;
    QString m_logo;
};
