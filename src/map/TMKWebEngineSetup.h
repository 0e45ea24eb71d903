#pragma once

// Call before the QApplication is made: QtWebEngine reads these settings when
// it starts, and sharing GL contexts cannot be switched on afterwards. Only
// settings: the web engine itself starts with the first map view.
void TMKPrepareWebEngine();
