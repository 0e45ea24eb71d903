#pragma once

// Call before the QApplication is made: QtWebEngine reads these settings when
// it starts, and sharing GL contexts cannot be switched on afterwards.
void TMKPrepareWebEngine();
