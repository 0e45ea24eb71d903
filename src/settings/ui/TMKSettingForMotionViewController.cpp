#include "settings/ui/TMKSettingForMotionViewController.h"

#include "settings/ui/TMKSegmentedControl.h"
#include "settings/ui/TMKSettingController.h"
#include "settings/ui/TMKSettingPageKit.h"
#include "strings/TMKStrings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TMKSettingForMotionViewController::TMKSettingForMotionViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TMKSettingForMotionViewController"));
    awakeFromNib();
}

void TMKSettingForMotionViewController::awakeFromNib()
{
    auto* page = new QVBoxLayout(this);
    const QStringList levels{TMKLocalizedString("unuse"),
                             TMKLocalizedString("1(%@)").arg(TMKLocalizedString("insensitive")),
                             QStringLiteral("2"),
                             QStringLiteral("3"),
                             QStringLiteral("4"),
                             TMKLocalizedString("5(%@)").arg(TMKLocalizedString("sensitive"))};

    QGroupBox* boxOfMotion = TKMakeBox(this, "setting.motion.sensitivity", "boxOfMotion");
    auto* sensitivity = new QGridLayout(boxOfMotion);
    auto* frontLabel = new QLabel(TMKLocalizedString("setting.aux.front_sensitivity"), boxOfMotion);
    frontLabel->setObjectName(QStringLiteral("frontMotionSensitivityLabel"));
    auto* rearLabel = new QLabel(TMKLocalizedString("setting.aux.rear_sensitivity"), boxOfMotion);
    rearLabel->setObjectName(QStringLiteral("rearMotionSensitivityLabel"));
    frontSensitivitySeg = TKMakeSegments(boxOfMotion, "frontSensitivitySeg", levels);
    rearSensitivitySeg = TKMakeSegments(boxOfMotion, "rearSensitivitySeg", levels);
    sensitivity->addWidget(frontLabel, 0, 0);
    sensitivity->addWidget(frontSensitivitySeg, 0, 1);
    sensitivity->addWidget(rearLabel, 1, 0);
    sensitivity->addWidget(rearSensitivitySeg, 1, 1);
    sensitivity->setColumnStretch(2, 1);
    page->addWidget(boxOfMotion);

    QGroupBox* boxOfMotionBlock = TKMakeBox(this, "setting.motion.block", "boxOfMotionBlock");
    auto* blocks = new QHBoxLayout(boxOfMotionBlock);
    // Three rows of four, as the blocks lie on the picture.
    const auto blockGrid = [boxOfMotionBlock, blocks](const char* key, const char* name, const char* prefix,
                                                      std::array<QCheckBox*, kBlockCount>& boxes) {
        QGroupBox* box = TKMakeBox(boxOfMotionBlock, key, name);
        auto* grid = new QGridLayout(box);
        for (int i = 0; i < kBlockCount; ++i) {
            const QString number = QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
            auto* check = new QCheckBox(number, box);
            check->setObjectName(QStringLiteral("%1%2Chk").arg(QLatin1String(prefix), number));
            grid->addWidget(check, i / 4, i % 4);
            boxes[static_cast<std::size_t>(i)] = check;
        }
        blocks->addWidget(box);
    };
    blockGrid("setting.motion.block_front", "boxOfFrontMotionBlock", "frontMotionBlock", frontMotionBlockChk);
    blockGrid("setting.motion.block_rear", "boxOfRearMotionBlock", "rearMotionBlock", rearMotionBlockChk);
    page->addWidget(boxOfMotionBlock);
    page->addStretch();

    connect(frontSensitivitySeg, &TMKSegmentedControl::segmentClicked, this,
            &TMKSettingForMotionViewController::updateFrontMotionBlock);
    connect(rearSensitivitySeg, &TMKSegmentedControl::segmentClicked, this,
            &TMKSettingForMotionViewController::updateRearMotionBlock);
}

void TMKSettingForMotionViewController::setFileData(_FILEDATA* record)
{
    fileData = record;
    displayFileData();
}

void TMKSettingForMotionViewController::setMainController(TMKSettingHost* controller)
{
    mainController = controller;
}

void TMKSettingForMotionViewController::displayFileData()
{
    if (!fileData)
        return;
    const _FILEDATA& d = *fileData;
    TKShowSegment(frontSensitivitySeg, d.motion720pCValue);
    TKShowSegment(rearSensitivitySeg, d.motion1080pCValue);
    for (std::size_t i = 0; i < kBlockCount; ++i) {
        const uint32_t bit = 1u << kBlockBits[i];
        frontMotionBlockChk[i]->setChecked((d.motionBlock & bit) == 0);
        rearMotionBlockChk[i]->setChecked((d.motionBlock_Rear & bit) == 0);
    }
}

void TMKSettingForMotionViewController::updateFrontMotionBlock()
{
    const bool used = frontSensitivitySeg->selectedSegment() != 0;
    for (QCheckBox* box : frontMotionBlockChk)
        box->setEnabled(used);
}

void TMKSettingForMotionViewController::updateRearMotionBlock()
{
    const bool used = rearSensitivitySeg->selectedSegment() != 0;
    for (QCheckBox* box : rearMotionBlockChk)
        box->setEnabled(used);
}

uint32_t TMKSettingForMotionViewController::maskOf(const std::array<QCheckBox*, kBlockCount>& boxes)
{
    uint32_t mask = 0;
    for (std::size_t i = 0; i < kBlockCount; ++i) {
        if (!boxes[i]->isChecked())
            mask |= 1u << kBlockBits[i];
    }
    return mask;
}

bool TMKSettingForMotionViewController::populate()
{
    if (!fileData)
        return false;
    _FILEDATA& d = *fileData;
    d.motion720pCValue = TKStoredSegment(frontSensitivitySeg);
    d.motion1080pCValue = TKStoredSegment(rearSensitivitySeg);
    d.motionBlock = maskOf(frontMotionBlockChk);
    d.motionBlock_Rear = maskOf(rearMotionBlockChk);
    return true;
}
