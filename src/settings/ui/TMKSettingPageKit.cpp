#include "settings/ui/TMKSettingPageKit.h"

#include "settings/TMKValidator.h"
#include "settings/ui/TMKSegmentedControl.h"
#include "strings/TMKStrings.h"

#include <QGroupBox>

#include <algorithm>

QGroupBox* TKMakeBox(QWidget* parent, const char* key, const char* name)
{
    auto* box = new QGroupBox(TMKLocalizedString(key), parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

TMKSegmentedControl* TKMakeSegments(QWidget* parent, const char* name, const QStringList& labels)
{
    auto* control = new TMKSegmentedControl(parent);
    control->setObjectName(QLatin1String(name));
    TKSetSegmentLabels(control, labels);
    return control;
}

QStringList TKLocalizedList(std::initializer_list<const char*> keys)
{
    QStringList texts;
    for (const char* key : keys)
        texts << TMKLocalizedString(key);
    return texts;
}

void TKShowSegment(TMKSegmentedControl* control, uint32_t stored)
{
    const int last = control->segmentCount() - 1;
    if (last < 0)
        return;
    control->setSelectedSegment(static_cast<int>(std::min<uint32_t>(stored, static_cast<uint32_t>(last))));
}

uint32_t TKStoredSegment(const TMKSegmentedControl* control)
{
    return static_cast<uint32_t>(std::max(0, control->selectedSegment()));
}

QString TKMessageText(const TMKValidationMessage& message)
{
    QString text = TMKLocalizedString(QString::fromStdString(message.key));
    for (double argument : message.arguments)
        text = text.arg(argument, 0, 'g', 3);
    return text;
}
