#include "sdcard/ui/TMKTimeSetupController.h"

#include "kit/TMKAlertService.h"
#include "sdcard/TKDiskDiscovery.h"
#include "sdcard/TKTimeSetFile.h"
#include "strings/TMKStrings.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtMath>

TMKClockTimePicker::TMKClockTimePicker(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("clockTimePicker"));
    setMinimumSize(120, 120);
    setFocusPolicy(Qt::WheelFocus);
}

void TMKClockTimePicker::setTime(const QTime& time)
{
    if (!time.isValid() || time == m_time)
        return;
    m_time = time;
    update();
}

void TMKClockTimePicker::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height()) - 8;
    p.translate(width() / 2.0, height() / 2.0);
    p.scale(side / 200.0, side / 200.0);
    p.setPen(QPen(palette().color(QPalette::WindowText), 2));
    p.setBrush(palette().color(QPalette::Base));
    p.drawEllipse(QPointF(0, 0), 98, 98);
    for (int i = 0; i < 12; ++i) {
        p.drawLine(QPointF(0, -88), QPointF(0, -96));
        p.rotate(30);
    }
    const auto hand = [&](qreal degrees, qreal length, qreal width, const QColor& color) {
        p.save();
        p.rotate(degrees);
        p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, 8), QPointF(0, -length));
        p.restore();
    };
    const QColor text = palette().color(QPalette::WindowText);
    hand(30.0 * ((m_time.hour() % 12) + m_time.minute() / 60.0), 50, 6, text);
    hand(6.0 * (m_time.minute() + m_time.second() / 60.0), 80, 4, text);
    hand(6.0 * m_time.second(), 86, 1.5, QColor(200, 40, 40));
    // Afternoon hours read the same on a face; say which half of the day it is.
    p.setPen(text);
    p.drawText(QRectF(-40, 30, 80, 24), Qt::AlignCenter, m_time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

void TMKClockTimePicker::pointAt(const QPointF& position, bool choose)
{
    const QPointF v = position - QPointF(width() / 2.0, height() / 2.0);
    const qreal radius = std::min(width(), height()) / 2.0;
    if (std::hypot(v.x(), v.y()) < radius * 0.1)
        return;
    qreal degrees = qRadiansToDegrees(std::atan2(v.x(), -v.y()));
    if (degrees < 0)
        degrees += 360;
    if (choose) // the inner half moves the hour hand, the outer the minutes
        m_draggingHour = std::hypot(v.x(), v.y()) < radius * 0.55;
    QTime next = m_time;
    if (m_draggingHour) {
        const int hour = static_cast<int>(std::lround(degrees / 30.0)) % 12;
        next = QTime(hour + (m_time.hour() >= 12 ? 12 : 0), m_time.minute(), m_time.second());
    } else {
        const int minute = static_cast<int>(std::lround(degrees / 6.0)) % 60;
        next = QTime(m_time.hour(), minute, m_time.second());
    }
    if (next != m_time) {
        m_time = next;
        update();
        emit timeChanged(m_time);
    }
}

void TMKClockTimePicker::mousePressEvent(QMouseEvent* event)
{
    pointAt(event->position(), true);
}

void TMKClockTimePicker::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        pointAt(event->position(), false);
}

void TMKClockTimePicker::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    m_time = m_time.addSecs(60 * steps);
    update();
    emit timeChanged(m_time);
    event->accept();
}

TMKTimeSetupController::TMKTimeSetupController(Services services, QWidget* parent)
    : QWidget(parent, Qt::Window), m_services(std::move(services))
{
    if (!m_services.disks)
        m_services.disks = std::make_shared<TKLocalDiskSystem>();
    if (!m_services.now)
        m_services.now = [] { return QDateTime::currentDateTime(); };
    setObjectName(QStringLiteral("TMKTimeSetupController"));
    setWindowTitle(TMKLocalizedString("time.window_title"));

    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    datePicker = new QCalendarWidget(this);
    datePicker->setObjectName(QStringLiteral("datePicker"));
    datePicker->setGridVisible(true);
    dateField = new QLineEdit(this);
    dateField->setObjectName(QStringLiteral("dateField"));
    dateField->setReadOnly(true);
    nowDaySettingChk = new QCheckBox(this);
    nowDaySettingChk->setObjectName(QStringLiteral("nowDaySettingChk"));
    left->addWidget(datePicker);
    left->addWidget(dateField);
    left->addWidget(nowDaySettingChk);
    layout->addLayout(left);

    auto* right = new QVBoxLayout;
    timePicker = new QTimeEdit(this);
    timePicker->setObjectName(QStringLiteral("timePicker"));
    timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    clockTimePicker = new TMKClockTimePicker(this);
    right->addWidget(timePicker);
    right->addWidget(clockTimePicker, 1);
    auto* buttons = new QHBoxLayout;
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    saveButton = new QPushButton(this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    saveButton->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    buttons->addWidget(saveButton);
    right->addLayout(buttons);
    layout->addLayout(right);
    resize(620, 300);

    connect(datePicker, &QCalendarWidget::clicked, this, [this](QDate) { daySelectedFromPicker(); });
    connect(datePicker, &QCalendarWidget::activated, this, [this](QDate) { daySelectedFromPicker(); });
    connect(datePicker, &QCalendarWidget::selectionChanged, this, &TMKTimeSetupController::daySelectedFromPicker);
    connect(timePicker, &QTimeEdit::userTimeChanged, this, [this](QTime) { timeSelectedFromPicker(); });
    connect(clockTimePicker, &TMKClockTimePicker::timeChanged, this,
            &TMKTimeSetupController::timeSelectedFromClickTimePicker);
    connect(nowDaySettingChk, &QCheckBox::clicked, this, &TMKTimeSetupController::nowDayChecked);
    connect(saveButton, &QPushButton::clicked, this, &TMKTimeSetupController::onSaveConfigFile);
    connect(cancelButton, &QPushButton::clicked, this, &TMKTimeSetupController::onCloseCmd);
    onInitDIalog();
}

void TMKTimeSetupController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        windowDidLoad();
    }
}

void TMKTimeSetupController::windowDidLoad()
{
    if (QScreen* screen = this->screen()) {
        const QRect visible = screen->availableGeometry();
        move(visible.topLeft() + QPoint((visible.width() - width()) / 2, (visible.height() - height()) / 2));
    }
}

void TMKTimeSetupController::onInitDIalog()
{
    loadSettingFile();
    const QDateTime now = m_services.now();
    m_selectedDate = now.date();
    m_selectedTime = QTime(now.time().hour(), now.time().minute(), now.time().second());
    datePicker->setSelectedDate(m_selectedDate);
    timePicker->setTime(m_selectedTime);
    clockTimePicker->setTime(m_selectedTime);
    refreshDate();
    saveButton->setText(TMKLocalizedString("save"));
    cancelButton->setText(TMKLocalizedString("cancel"));
}

void TMKTimeSetupController::refreshDate()
{
    const QLocale locale;
    dateField->setText(locale.toString(m_selectedDate, QLocale::LongFormat));
    nowDaySettingChk->setText(QStringLiteral("%1(%2)").arg(TMKLocalizedString("today"),
                                                           locale.toString(m_services.now().date(), QLocale::ShortFormat)));
}

void TMKTimeSetupController::loadSettingFile()
{
    m_SettingFilePath.reset();
    if (const auto volume = TKFindVolumeWithFile(*m_services.disks, kTKTimeSetFileName))
        m_SettingFilePath = TKVolumeItemPath(*volume, kTKTimeSetFileName);
}

void TMKTimeSetupController::daySelectedFromPicker()
{
    m_selectedDate = datePicker->selectedDate();
    refreshDate();
}

void TMKTimeSetupController::timeSelectedFromPicker()
{
    m_selectedTime = timePicker->time();
    clockTimePicker->setTime(m_selectedTime);
}

void TMKTimeSetupController::timeSelectedFromClickTimePicker()
{
    m_selectedTime = clockTimePicker->time();
    timePicker->setTime(m_selectedTime);
}

void TMKTimeSetupController::nowDayChecked()
{
    m_selectedDate = m_services.now().date();
    datePicker->setSelectedDate(m_selectedDate);
    refreshDate();
    // A push button in a check box's clothes: it springs back.
    QTimer::singleShot(200, this, [this] { nowDaySettingChk->setChecked(false); });
}

QString TMKTimeSetupController::openSavePanel()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString proposed = QDir(desktop.isEmpty() ? QDir::homePath() : desktop).filePath(QStringLiteral("timeset.cfg"));
    if (m_services.saveFileChooser)
        return m_services.saveFileChooser(this, proposed);
    QString chosen = QFileDialog::getSaveFileName(this, QString(), proposed, QStringLiteral("timeset (*.cfg)"));
    if (!chosen.isEmpty() && !chosen.endsWith(QStringLiteral(".cfg")))
        chosen += QStringLiteral(".cfg");
    return chosen;
}

std::optional<QString> TMKTimeSetupController::doWriteConfigFile(const QString& path)
{
    // The numbers themselves, not a locale's rendering: a Buddhist-calendar
    // year or Arabic-Indic digits would set the camera's clock wrong.
    const TKTimeSetValue value{m_selectedDate.year(), m_selectedDate.month(), m_selectedDate.day(),
                               m_selectedTime.hour(), m_selectedTime.minute(), m_selectedTime.second()};
    if (const auto error = TKWriteTimeSetFile(path.toStdString(), value))
        return QString::fromStdString(*error);
    return std::nullopt;
}

void TMKTimeSetupController::onSaveConfigFile()
{
    QString path = m_SettingFilePath ? QString::fromStdString(*m_SettingFilePath) : openSavePanel();
    if (path.isEmpty())
        return;
    if (const auto error = doWriteConfigFile(path)) {
        alert(QStringLiteral("TAMEK"), QStringLiteral("%1\n%2").arg(TMKLocalizedString("time.filesave_failed"), *error));
        return;
    }
    emit written(path);
    alert(QStringLiteral("TAMEK"), TMKLocalizedString("time.filesave"), [self = QPointer<TMKTimeSetupController>(this)] {
        if (self)
            self->close();
    });
}

void TMKTimeSetupController::onCloseCmd()
{
    close();
}

void TMKTimeSetupController::alert(const QString& message, const QString& informative, std::function<void()> onEnd)
{
    (m_services.alerts ? *m_services.alerts : TMKMessageBoxAlerts()).showAlert(this, TMKAlertService::Kind::Warning, message, informative, std::move(onEnd));
}
