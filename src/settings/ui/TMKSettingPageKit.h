#pragma once

#include <QStringList>

#include <cstdint>

class QGroupBox;
class QWidget;
class TMKSegmentedControl;

// Pieces the settings pages build their controls from.

// A titled group box named `name`, captioned with the text of `key`.
[[nodiscard]] QGroupBox* TKMakeBox(QWidget* parent, const char* key, const char* name);
// A segmented control named `name` with these labels, in order.
[[nodiscard]] TMKSegmentedControl* TKMakeSegments(QWidget* parent, const char* name, const QStringList& labels);
// The texts of these keys, in order.
[[nodiscard]] QStringList TKLocalizedList(std::initializer_list<const char*> keys);

// Shows a stored segment index. A card may hold an index beyond the
// control's segments (written by another tool or firmware); the last
// segment is shown then, so what is written back is always a valid index.
void TKShowSegment(TMKSegmentedControl* control, uint32_t stored);
// The selected segment as stored; 0 when none is selected.
[[nodiscard]] uint32_t TKStoredSegment(const TMKSegmentedControl* control);

struct TMKValidationMessage;
class QString;
// A validation message in the user's words.
[[nodiscard]] QString TKMessageText(const TMKValidationMessage& message);
