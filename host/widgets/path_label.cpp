#include "host/widgets/path_label.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

namespace tavik {

TPathLabel::TPathLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QString TPathLabel::DisplayedText() const {
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width() - 2 * margin());
}

QSize TPathLabel::minimumSizeHint() const {
    // However long the path: the window's layout must not grow with it.
    return {0, QLabel::minimumSizeHint().height()};
}

bool TPathLabel::event(QEvent* event) {
    // setText is not virtual, so the tooltip follows the text when it is asked for.
    if (event->type() == QEvent::ToolTip) setToolTip(text());
    return QLabel::event(event);
}

void TPathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), DisplayedText(), foregroundRole());
}

}  // namespace tavik
