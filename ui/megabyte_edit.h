#pragma once
// The number edit for a volume size in MB: at most 2000 with two decimals, German decimal comma
// (a typed point becomes a comma), no more than 7 characters.
#include <QLineEdit>

namespace vendrask {

class TMegabyteEdit : public QLineEdit {
public:
    static constexpr double kMaximum = 2000.0;

    explicit TMegabyteEdit(QWidget* parent = nullptr);

    // The value shown; an empty edit counts as 0.
    double AsFloat() const;
    // Shows value limited to 0..2000 and rounded to two decimals, without trailing zeros.
    void SetAsFloat(double value);

    // A number of MB as the edit shows it: two decimals at most, decimal comma ("0,07").
    static QString Text(double value);
};

}  // namespace vendrask
