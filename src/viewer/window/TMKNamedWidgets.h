#pragma once

// Widgets made with the object names the style sheet and the tests find them by.

#include <QLabel>
#include <QString>
#include <QWidget>

inline QWidget* makeBox(QWidget* parent, const char* name)
{
    auto* box = new QWidget(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

inline QLabel* makeLabel(QWidget* parent, const QString& text, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}
