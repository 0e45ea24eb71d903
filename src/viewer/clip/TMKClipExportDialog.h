#pragma once

// The choices of a clip before it is written: the cameras' layout, what is
// burned in and in which units, the sound, the quality; it says when the
// camera's own video is copied instead of made anew, and starts with the
// choices of the last clip. Main thread.

#include "clip/TMKClipExport.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

class TMKClipExportDialog : public QDialog {
    Q_OBJECT

public:
    // `summary` names the span; `units` is the viewer's preference; the
    // last choices are kept in the settings store at `settingsPath`.
    TMKClipExportDialog(const QString& summary, TMKClipUnits units, const QString& settingsPath = {},
                        QWidget* parent = nullptr);

    // The request as chosen, without its trip, span and output.
    [[nodiscard]] TMKClipRequest request() const;
    // One camera and nothing burned in: its packets are copied.
    [[nodiscard]] bool copies() const;

private:
    void follow();
    void restore();
    void remember() const;

    QString m_settingsPath;
    QComboBox* m_layout = nullptr;
    QComboBox* m_corner = nullptr;
    QSpinBox* m_insetSize = nullptr;
    QCheckBox* m_time = nullptr;
    QCheckBox* m_speed = nullptr;
    QCheckBox* m_position = nullptr;
    QCheckBox* m_gforce = nullptr;
    QComboBox* m_gforceStyle = nullptr;
    QComboBox* m_units = nullptr;
    QCheckBox* m_sound = nullptr;
    QComboBox* m_quality = nullptr;
    QLabel* m_path = nullptr;
};
