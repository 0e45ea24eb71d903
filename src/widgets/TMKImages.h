#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// The viewer's named images. They are drawn at the size asked for, so they
// stay sharp at any scale; a name may carry a ".png" suffix. An unknown name
// gives a null image.
[[nodiscard]] QImage TMKImageNamed(const QString& name, QSize size);
[[nodiscard]] bool TMKHasImageNamed(const QString& name);
[[nodiscard]] QStringList TMKImageNames();
