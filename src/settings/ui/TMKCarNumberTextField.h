#pragma once

#include <QLineEdit>

// The car number field: when editing ends, only the first eight ASCII
// letters and digits stay, in order.
class TMKCarNumberTextField : public QLineEdit {
    Q_OBJECT

public:
    explicit TMKCarNumberTextField(QWidget* parent = nullptr);
    void textDidEndEditing();
};
