#pragma once

#include "sdcard/TKDiskSystem.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCalendarWidget;
class TMKAlertService;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTimeEdit;

// A clock face showing a time of day; a click or drag on it sets the hand
// nearest to the pointer, the wheel moves the minutes.
class TMKClockTimePicker : public QWidget {
    Q_OBJECT

public:
    explicit TMKClockTimePicker(QWidget* parent = nullptr);
    [[nodiscard]] QTime time() const { return m_time; }
    void setTime(const QTime& time);
    [[nodiscard]] QSize sizeHint() const override { return {150, 150}; }

signals:
    void timeChanged(const QTime& time); // by the user only

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void pointAt(const QPointF& position, bool choose);
    QTime m_time{0, 0, 0};
    bool m_draggingHour = false;
};

// The time setup window: the user picks a date and a time of day and the
// window writes the camera's timeset.cfg, to the card when one holds the
// file, else where the user says.
class TMKTimeSetupController : public QWidget {
    Q_OBJECT

public:
    struct Services {
        std::shared_ptr<TKDiskSystem> disks;
        // The save panel: the chosen path, or empty when cancelled.
        std::function<QString(QWidget* parent, const QString& proposedPath)> saveFileChooser;
        std::function<QDateTime()> now; // the present, in local time
        std::shared_ptr<TMKAlertService> alerts; // empty: message boxes
    };

    explicit TMKTimeSetupController(Services services = {}, QWidget* parent = nullptr);

    void loadSettingFile();
    void daySelectedFromPicker();
    void timeSelectedFromPicker();
    void timeSelectedFromClickTimePicker();
    void nowDayChecked();
    [[nodiscard]] QString openSavePanel();
    // The reason when the file cannot be written.
    [[nodiscard]] std::optional<QString> doWriteConfigFile(const QString& path);
    void onSaveConfigFile();
    void onCloseCmd();

    [[nodiscard]] const std::optional<std::string>& settingFilePath() const { return m_SettingFilePath; }
    [[nodiscard]] QDate selectedDate() const { return m_selectedDate; }
    [[nodiscard]] QTime selectedTime() const { return m_selectedTime; }

    QCalendarWidget* datePicker = nullptr;
    QLineEdit* dateField = nullptr;
    QCheckBox* nowDaySettingChk = nullptr;
    QTimeEdit* timePicker = nullptr;
    TMKClockTimePicker* clockTimePicker = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;

signals:
    void written(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void windowDidLoad();
    void onInitDIalog();
    void refreshDate();
    void alert(const QString& message, const QString& informative, std::function<void()> onEnd = {});

    Services m_services;
    std::optional<std::string> m_SettingFilePath;
    QDate m_selectedDate;
    QTime m_selectedTime;
    bool m_loaded = false;
};
