#include "viewer/clip/TMKClipExportDialog.h"

#include "kit/TMKAppSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

template <class T>
T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

TMKClipExportDialog::TMKClipExportDialog(const QString& summary, TMKClipUnits units, const QString& settingsPath,
                                         QWidget* parent)
    : QDialog(parent), m_settingsPath(settingsPath)
{
    setObjectName(QStringLiteral("clipExportDialog"));
    setWindowTitle(tr("Export Clip"));
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);

    m_layout = named(new QComboBox(this), "clipLayout");
    m_layout->addItem(tr("Front camera"), int(TMKClipLayout::Front));
    m_layout->addItem(tr("Rear camera"), int(TMKClipLayout::Rear));
    m_layout->addItem(tr("Side by side"), int(TMKClipLayout::Side));
    m_layout->addItem(tr("Stacked, front above rear"), int(TMKClipLayout::Stack));
    m_layout->addItem(tr("Picture in picture, rear inset"), int(TMKClipLayout::Pip));
    form->addRow(tr("Layout:"), m_layout);

    m_corner = named(new QComboBox(this), "clipCorner");
    m_corner->addItem(tr("Top left"), int(TMKClipCorner::TopLeft));
    m_corner->addItem(tr("Top right"), int(TMKClipCorner::TopRight));
    m_corner->addItem(tr("Bottom left"), int(TMKClipCorner::BottomLeft));
    m_corner->addItem(tr("Bottom right"), int(TMKClipCorner::BottomRight));
    m_corner->setCurrentIndex(3);
    m_insetSize = named(new QSpinBox(this), "clipInsetSize");
    m_insetSize->setRange(10, 50);
    m_insetSize->setValue(30);
    m_insetSize->setSuffix(tr(" % of the width"));
    auto* inset = new QHBoxLayout;
    inset->addWidget(m_corner);
    inset->addWidget(m_insetSize);
    form->addRow(tr("Inset:"), inset);

    m_time = named(new QCheckBox(tr("Date and time"), this), "clipTime");
    m_speed = named(new QCheckBox(tr("Speed"), this), "clipSpeed");
    m_position = named(new QCheckBox(tr("Coordinates"), this), "clipPosition");
    m_gforce = named(new QCheckBox(tr("G-force"), this), "clipGForce");
    m_gforceStyle = named(new QComboBox(this), "clipGForceStyle");
    m_gforceStyle->addItem(tr("as values"));
    m_gforceStyle->addItem(tr("as a trace"));
    auto* parts = new QHBoxLayout;
    for (QWidget* part : {static_cast<QWidget*>(m_time), static_cast<QWidget*>(m_speed),
                          static_cast<QWidget*>(m_position), static_cast<QWidget*>(m_gforce),
                          static_cast<QWidget*>(m_gforceStyle)})
        parts->addWidget(part);
    parts->addStretch();
    form->addRow(tr("Burned in:"), parts);

    m_units = named(new QComboBox(this), "clipUnits");
    m_units->addItem(tr("km/h"), int(TMKClipUnits::Kmh));
    m_units->addItem(tr("mph"), int(TMKClipUnits::Mph));
    m_units->setCurrentIndex(units == TMKClipUnits::Mph ? 1 : 0);
    form->addRow(tr("Speed in:"), m_units);

    m_sound = named(new QCheckBox(tr("The front camera's sound"), this), "clipSound");
    m_sound->setChecked(true);
    form->addRow(tr("Sound:"), m_sound);

    m_quality = named(new QComboBox(this), "clipQuality");
    m_quality->addItem(tr("Share: 1280×720, about 4 Mbit/s"), int(TMKClipQuality::Share));
    m_quality->addItem(tr("Full: the cameras' own size, constant quality"), int(TMKClipQuality::Full));
    form->addRow(tr("Quality:"), m_quality);

    m_path = named(new QLabel(this), "clipCopyNote");
    m_path->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* exportButton = buttons->addButton(tr("Export…"), QDialogButtonBox::AcceptRole);
    exportButton->setObjectName(QStringLiteral("clipExportButton"));
    exportButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        remember();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    auto* span = named(new QLabel(summary, this), "clipSpan");
    span->setWordWrap(true);
    column->addWidget(span);
    column->addLayout(form);
    column->addWidget(m_path);
    column->addStretch();
    column->addWidget(buttons);

    for (QComboBox* box : {m_layout, m_gforceStyle})
        connect(box, &QComboBox::currentIndexChanged, this, &TMKClipExportDialog::follow);
    for (QCheckBox* box : {m_time, m_speed, m_position, m_gforce})
        connect(box, &QCheckBox::toggled, this, &TMKClipExportDialog::follow);
    restore();
    follow();
}

namespace {

const char* const kChoicesGroup = "clip";

void choose(QComboBox* box, const QVariant& value)
{
    if (const int at = box->findData(value); value.isValid() && at >= 0)
        box->setCurrentIndex(at);
}

} // namespace

// The units are the viewer's, passed in; the rest as the last clip had it.
void TMKClipExportDialog::restore()
{
    const auto settings = TMKAppSettings(m_settingsPath);
    settings->beginGroup(QLatin1String(kChoicesGroup));
    choose(m_layout, settings->value(QStringLiteral("layout")));
    choose(m_corner, settings->value(QStringLiteral("corner")));
    m_insetSize->setValue(settings->value(QStringLiteral("insetPercent"), m_insetSize->value()).toInt());
    for (QCheckBox* box : {m_time, m_speed, m_position, m_gforce, m_sound})
        box->setChecked(settings->value(box->objectName(), box->isChecked()).toBool());
    m_gforceStyle->setCurrentIndex(settings->value(QStringLiteral("gforceTrace")).toBool() ? 1 : 0);
    choose(m_quality, settings->value(QStringLiteral("quality")));
}

void TMKClipExportDialog::remember() const
{
    const auto settings = TMKAppSettings(m_settingsPath);
    settings->beginGroup(QLatin1String(kChoicesGroup));
    settings->setValue(QStringLiteral("layout"), m_layout->currentData());
    settings->setValue(QStringLiteral("corner"), m_corner->currentData());
    settings->setValue(QStringLiteral("insetPercent"), m_insetSize->value());
    for (QCheckBox* box : {m_time, m_speed, m_position, m_gforce, m_sound})
        settings->setValue(box->objectName(), box->isChecked());
    settings->setValue(QStringLiteral("gforceTrace"), m_gforceStyle->currentIndex() == 1);
    settings->setValue(QStringLiteral("quality"), m_quality->currentData());
}

bool TMKClipExportDialog::copies() const
{
    const auto layout = static_cast<TMKClipLayout>(m_layout->currentData().toInt());
    return (layout == TMKClipLayout::Front || layout == TMKClipLayout::Rear) && !request().overlay.any();
}

// What applies to the choices made: the inset's place only for the inset,
// the units only with the speed shown, quality and sound not when copied.
void TMKClipExportDialog::follow()
{
    const bool pip = static_cast<TMKClipLayout>(m_layout->currentData().toInt()) == TMKClipLayout::Pip;
    m_corner->setEnabled(pip);
    m_insetSize->setEnabled(pip);
    m_gforceStyle->setEnabled(m_gforce->isChecked());
    m_units->setEnabled(m_speed->isChecked());
    const bool copied = copies();
    m_quality->setEnabled(!copied);
    // A copied rear camera has no sound of its own to copy.
    const bool rearCopied = copied && static_cast<TMKClipLayout>(m_layout->currentData().toInt()) == TMKClipLayout::Rear;
    m_sound->setEnabled(!rearCopied);
    m_path->setText(copied ? tr("The camera's own recording is copied: no re-encoding, nothing lost. The clip "
                                "begins at the key frame at or before the start and is written as Matroska (.mkv).")
                           : tr("The clip is encoded anew as H.264 with AAC sound, written as MP4."));
}

TMKClipRequest TMKClipExportDialog::request() const
{
    TMKClipRequest request;
    request.layout = static_cast<TMKClipLayout>(m_layout->currentData().toInt());
    request.pipCorner = static_cast<TMKClipCorner>(m_corner->currentData().toInt());
    request.pipScale = m_insetSize->value() / 100.0;
    request.overlay.time = m_time->isChecked();
    request.overlay.speed = m_speed->isChecked();
    request.overlay.position = m_position->isChecked();
    request.overlay.gforce = m_gforce->isChecked();
    request.overlay.gforceTrace = m_gforce->isChecked() && m_gforceStyle->currentIndex() == 1;
    request.units = static_cast<TMKClipUnits>(m_units->currentData().toInt());
    request.quality = static_cast<TMKClipQuality>(m_quality->currentData().toInt());
    request.sound = m_sound->isChecked();
    request.copy = (request.layout == TMKClipLayout::Front || request.layout == TMKClipLayout::Rear)
                   && !request.overlay.any();
    return request;
}
