#pragma once

#include "kit/TMKSettingControllerDelegate.h"

#include <QPointer>
#include <QWidget>

#include <array>

class QButtonGroup;
class QCheckBox;
class QRadioButton;
class TMKSegmentedControl;

// The audio page: microphone and speaker levels, the hourly announcement
// and the language of the voice guidance.
class TMKSettingForAudioViewController : public QWidget, public TMKSettingControllerDelegate {
    Q_OBJECT

public:
    static constexpr int kLanguageCount = 20;
    static constexpr int kColumns = 4;
    // Brightness1 for the separate language button.
    static constexpr uint32_t kMalaysia = 20;
    static const std::array<const char*, kLanguageCount> kLanguageKeys;

    explicit TMKSettingForAudioViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* fileData) override;
    bool populate() override;
    [[nodiscard]] std::optional<QString> validateUserInput() override { return std::nullopt; }
    void setMainController(TMKSettingHost* controller) override;
    void displayFileData();

    void voiceLangMatrixSelected();
    void malaysiaRadioSelected();
    // The cell at row and column of the language matrix.
    [[nodiscard]] QRadioButton* cellAtRow(int row, int column) const;
    // The selected cell's index; -1 when none is.
    [[nodiscard]] int selectedCell() const;

    TMKSegmentedControl* micSeg = nullptr;
    TMKSegmentedControl* speakerSeg = nullptr;
    QCheckBox* useEveryHourNoticeChk = nullptr;
    QButtonGroup* voiceLangRadio = nullptr;
    QRadioButton* malaysiaRadio = nullptr;

private:
    void awakeFromNib();
    void deselectAllCells();

    _FILEDATA* fileData = nullptr;
    QPointer<TMKSettingHost> mainController;
};
