#include "settings/ui/TMKSettingForAudioViewController.h"

#include "settings/ui/TMKSegmentedControl.h"
#include "settings/ui/TMKSettingController.h"
#include "settings/ui/TMKSettingPageKit.h"
#include "strings/TMKStrings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

const std::array<const char*, TMKSettingForAudioViewController::kLanguageCount>
    TMKSettingForAudioViewController::kLanguageKeys{
        "Korean", "English", "French", "Spanish.Europe", "Arabic", "Chinese", "Russian",
        "Japanese", "Thai", "BahasaIndonesia", "Vietnamese", "Mongolian", "Spanish.SouthAmerica",
        "German", "Turkish", "Italian", "Hindi", "Cantonese", "Czech", "Portuguese"};

TMKSettingForAudioViewController::TMKSettingForAudioViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TMKSettingForAudioViewController"));
    awakeFromNib();
}

void TMKSettingForAudioViewController::awakeFromNib()
{
    auto* page = new QVBoxLayout(this);
    const QStringList levels{TMKLocalizedString("unuse"),
                             TMKLocalizedString("1(%@)").arg(TMKLocalizedString("setting.aux.volume_low")),
                             QStringLiteral("2"),
                             TMKLocalizedString("3(%@)").arg(TMKLocalizedString("setting.aux.volume_up"))};

    auto* levelsRow = new QHBoxLayout;
    QGroupBox* boxOfMic = TKMakeBox(this, "setting.aux.mic_volume", "boxOfMic");
    auto* mic = new QHBoxLayout(boxOfMic);
    micSeg = TKMakeSegments(boxOfMic, "micSeg", levels);
    mic->addWidget(micSeg);
    mic->addStretch();
    QGroupBox* boxOfSpeaker = TKMakeBox(this, "setting.aux.speaker_volume", "boxOfSpeaker");
    auto* speaker = new QHBoxLayout(boxOfSpeaker);
    speakerSeg = TKMakeSegments(boxOfSpeaker, "speakerSeg", levels);
    speaker->addWidget(speakerSeg);
    speaker->addStretch();
    levelsRow->addWidget(boxOfMic);
    levelsRow->addWidget(boxOfSpeaker);
    page->addLayout(levelsRow);

    useEveryHourNoticeChk = new QCheckBox(TMKLocalizedString("setting.aux.enable_hourly_alarm"), this);
    useEveryHourNoticeChk->setObjectName(QStringLiteral("useEveryHourNoticeChk"));
    page->addWidget(useEveryHourNoticeChk);

    QGroupBox* boxOfVoiceLang = TKMakeBox(this, "setting.aux.enable_voice_guidance", "boxOfVoiceLang");
    auto* languages = new QGridLayout(boxOfVoiceLang);
    // Twenty cells and the button in one small face, 12 pixels, the size of
    // the page's other texts.
    QFont font = this->font();
    font.setPixelSize(12);
    voiceLangRadio = new QButtonGroup(this);
    voiceLangRadio->setObjectName(QStringLiteral("voiceLangRadio"));
    voiceLangRadio->setExclusive(true);
    for (int i = 0; i < kLanguageCount; ++i) {
        auto* cell = new QRadioButton(TMKLocalizedString(kLanguageKeys[static_cast<std::size_t>(i)]), boxOfVoiceLang);
        cell->setObjectName(QStringLiteral("voiceLangCell%1").arg(i));
        cell->setFont(font);
        voiceLangRadio->addButton(cell, i);
        languages->addWidget(cell, i / kColumns, i % kColumns);
    }
    malaysiaRadio = new QRadioButton(TMKLocalizedString("Malaysia"), boxOfVoiceLang);
    malaysiaRadio->setObjectName(QStringLiteral("malaysiaRadio"));
    malaysiaRadio->setFont(font);
    // Not one of the matrix's cells: this page keeps the two exclusive.
    malaysiaRadio->setAutoExclusive(false);
    languages->addWidget(malaysiaRadio, kLanguageCount / kColumns, 0);
    page->addWidget(boxOfVoiceLang);
    page->addStretch();

    connect(voiceLangRadio, &QButtonGroup::idClicked, this, &TMKSettingForAudioViewController::voiceLangMatrixSelected);
    connect(malaysiaRadio, &QRadioButton::clicked, this, &TMKSettingForAudioViewController::malaysiaRadioSelected);
}

void TMKSettingForAudioViewController::setFileData(_FILEDATA* record)
{
    fileData = record;
    displayFileData();
}

void TMKSettingForAudioViewController::setMainController(TMKSettingHost* controller)
{
    mainController = controller;
}

QRadioButton* TMKSettingForAudioViewController::cellAtRow(int row, int column) const
{
    return qobject_cast<QRadioButton*>(voiceLangRadio->button(row * kColumns + column));
}

int TMKSettingForAudioViewController::selectedCell() const
{
    return voiceLangRadio->checkedId();
}

void TMKSettingForAudioViewController::deselectAllCells()
{
    // An exclusive group keeps one button checked; let go of it for a moment.
    voiceLangRadio->setExclusive(false);
    for (QAbstractButton* cell : voiceLangRadio->buttons())
        cell->setChecked(false);
    voiceLangRadio->setExclusive(true);
}

void TMKSettingForAudioViewController::displayFileData()
{
    if (!fileData)
        return;
    const _FILEDATA& d = *fileData;
    TKShowSegment(micSeg, d.aud_input_vol);
    TKShowSegment(speakerSeg, d.aud_output_vol);
    useEveryHourNoticeChk->setChecked(d.alarm_ontime_flag != 0);
    if (d.Brightness1 == kMalaysia) {
        deselectAllCells();
        malaysiaRadio->setChecked(true);
    } else {
        malaysiaRadio->setChecked(false);
        // A language this version does not know shows the last cell, so a
        // save writes a language the camera has.
        const uint32_t cell = std::min<uint32_t>(d.Brightness1, kLanguageCount - 1);
        cellAtRow(static_cast<int>(cell / kColumns), static_cast<int>(cell % kColumns))->setChecked(true);
    }
}

void TMKSettingForAudioViewController::voiceLangMatrixSelected()
{
    if (selectedCell() >= 0)
        malaysiaRadio->setChecked(false);
}

void TMKSettingForAudioViewController::malaysiaRadioSelected()
{
    // A radio button: clicking it while on leaves it on.
    malaysiaRadio->setChecked(true);
    deselectAllCells();
    if (fileData)
        fileData->Brightness1 = kMalaysia;
}

bool TMKSettingForAudioViewController::populate()
{
    if (!fileData)
        return false;
    _FILEDATA& d = *fileData;
    d.aud_input_vol = TKStoredSegment(micSeg);
    d.alarm_ontime_flag = useEveryHourNoticeChk->isChecked() ? 1 : 0;
    d.aud_output_vol = TKStoredSegment(speakerSeg);
    if (malaysiaRadio->isChecked())
        d.Brightness1 = kMalaysia;
    else if (selectedCell() >= 0)
        d.Brightness1 = static_cast<uint32_t>(selectedCell());
    return true;
}
