#pragma once
// A label for a path: when the path is wider than the label, the middle is left out, so the
// beginning and the file name at the end stay readable; the whole path is the tooltip. text()
// keeps the whole path, whatever is shown.
#include <QLabel>

namespace tavik {

class TPathLabel : public QLabel {
    Q_OBJECT

public:
    explicit TPathLabel(QWidget* parent = nullptr);

    // What the label shows at its present width.
    QString DisplayedText() const;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace tavik
