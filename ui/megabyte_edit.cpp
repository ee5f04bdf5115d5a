#include "ui/megabyte_edit.h"

#include <QRegularExpression>
#include <QValidator>
#include <algorithm>
#include <cmath>

namespace vendrask {

namespace {

constexpr int kMaxLength = 7;  // "2000,00"

double ParseMegabytes(QString text) {
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    if (text.isEmpty() || text == QLatin1String(".")) return 0.0;
    return text.toDouble();
}

class TMegabyteValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override {
        input.replace(QLatin1Char('.'), QLatin1Char(','));
        static const QRegularExpression kShape(QStringLiteral("^\\d{0,4}(,\\d{0,2})?$"));
        if (!kShape.match(input).hasMatch()) return Invalid;
        if (ParseMegabytes(input) > TMegabyteEdit::kMaximum) return Invalid;
        return input.isEmpty() ? Intermediate : Acceptable;
    }
};

}  // namespace

TMegabyteEdit::TMegabyteEdit(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(kMaxLength);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setValidator(new TMegabyteValidator(this));
}

double TMegabyteEdit::AsFloat() const { return ParseMegabytes(text()); }

void TMegabyteEdit::SetAsFloat(double value) {
    if (!std::isfinite(value)) value = 0.0;
    setText(Text(std::clamp(value, 0.0, kMaximum)));
}

QString TMegabyteEdit::Text(double value) {
    QString shown = QString::number(std::round(value * 100.0) / 100.0, 'f', 2);
    while (shown.endsWith(QLatin1Char('0'))) shown.chop(1);
    if (shown.endsWith(QLatin1Char('.'))) shown.chop(1);
    shown.replace(QLatin1Char('.'), QLatin1Char(','));
    return shown;
}

}  // namespace vendrask
