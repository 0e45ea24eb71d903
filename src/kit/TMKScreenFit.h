#pragma once

#include <QSize>

class QWidget;

// Sizes a window to `wanted` (its inside), or less where its screen's free
// area is smaller, and centres its frame there. Before the window system
// has framed the window a title bar is assumed, so the frame's top never
// goes above the screen.
void TKFitToScreen(QWidget* window, QSize wanted);
