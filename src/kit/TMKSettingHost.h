#pragma once

#include "kit/TMKAlertService.h"
#include "settings/TKUserDefaults.h"

#include <QString>
#include <QWidget>

// The window that shows the settings pages, as the pages see it: the pages
// of every folder (the drive log pages too) talk to it through this, so no
// page library links the settings window.
class TMKSettingHost : public QWidget {
public:
    using QWidget::QWidget;

    // The loading sheet over the window, for a read that takes a while.
    virtual void showLoading(const QString& title) = 0;
    virtual void hideLoading() = 0;
    [[nodiscard]] virtual TKUserDefaults& userDefaults() = 0;
    // How the window's pages tell the user something.
    [[nodiscard]] virtual TMKAlertService& alerts() = 0;
};
