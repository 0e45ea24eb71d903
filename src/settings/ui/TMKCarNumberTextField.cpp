#include "settings/ui/TMKCarNumberTextField.h"

#include "settings/TMKValidator.h"

TMKCarNumberTextField::TMKCarNumberTextField(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::editingFinished, this, &TMKCarNumberTextField::textDidEndEditing);
}

void TMKCarNumberTextField::textDidEndEditing()
{
    const QString cleaned = QString::fromStdString(TKCleanCarNumber(text().toStdString()));
    if (cleaned != text())
        setText(cleaned);
}
