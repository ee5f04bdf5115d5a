#include "host/widgets/icons.h"

#include "host/widgets/icon_palette.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <functional>

namespace tavik::icons {

namespace {

// Every image is drawn on a grid of 24 × 24 units and rendered at the sizes the buttons use.
using TDraw = std::function<void(QPainter&)>;

QIcon Make(const TDraw& draw) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 24.0, size / 24.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPen Outline(qreal width = 1.5) { return QPen(kOutline, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }
QPen Stroke(const QColor& colour, qreal width) { return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

void Sheet(QPainter& p, const QRectF& r) {
    p.setPen(Outline());
    p.setBrush(kPaper);
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 4, r.top());
    path.lineTo(r.right(), r.top() + 4);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.drawPath(path);
    p.drawLine(QPointF(r.right() - 4, r.top()), QPointF(r.right() - 4, r.top() + 4));
    p.drawLine(QPointF(r.right() - 4, r.top() + 4), QPointF(r.right(), r.top() + 4));
}

// An archive: a box with a lid.
void Box(QPainter& p, const QRectF& r) {
    p.setPen(Outline());
    p.setBrush(kBox);
    p.drawRect(r.adjusted(1, 3, -1, 0));
    p.setBrush(kBox.lighter(115));
    p.drawRect(QRectF(r.left(), r.top(), r.width(), 4));
    p.setPen(Outline(1.2));
    p.drawLine(QPointF(r.center().x() - 2, r.top() + 7), QPointF(r.center().x() + 2, r.top() + 7));
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& colour, qreal width = 2.5) {
    p.setPen(Stroke(colour, width));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const qreal length = std::max<qreal>(0.001, std::hypot(d.x(), d.y()));
    const QPointF u = d / length;
    const QPointF n(-u.y(), u.x());
    const qreal head = 3.5;
    p.drawLine(to, to - u * head + n * head);
    p.drawLine(to, to - u * head - n * head);
}

void Tick(QPainter& p, QPointF at, qreal scale, const QColor& colour = kGreen) {
    p.setPen(Stroke(colour, 2.2 * scale));
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(at + QPointF(-3, 0) * scale);
    path.lineTo(at + QPointF(-1, 2.5) * scale);
    path.lineTo(at + QPointF(3.5, -3) * scale);
    p.drawPath(path);
}

void CheckBox(QPainter& p, const QRectF& r, bool ticked) {
    p.setPen(Outline(1.3));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 1.2, 1.2);
    if (ticked) Tick(p, r.center(), r.width() / 8.0);
}

void Plus(QPainter& p, QPointF at, qreal size, const QColor& colour) {
    p.setPen(Outline(1.2));
    p.setBrush(colour);
    p.drawEllipse(at, size, size);
    p.setPen(Stroke(Qt::white, 1.8));
    p.drawLine(at - QPointF(size * 0.55, 0), at + QPointF(size * 0.55, 0));
    p.drawLine(at - QPointF(0, size * 0.55), at + QPointF(0, size * 0.55));
}

}  // namespace

QIcon Exit() {
    return Make([](QPainter& p) {
        p.setPen(Outline());
        p.setBrush(kBox.lighter(120));
        p.drawRect(QRectF(3, 2.5, 11, 19));
        p.setBrush(kBox);
        QPolygonF door{{3, 2.5}, {10, 5}, {10, 23}, {3, 21.5}};
        p.drawPolygon(door);
        Arrow(p, {12, 12}, {22, 12}, kRed);
    });
}

QIcon CheckAll() {
    return Make([](QPainter& p) {
        CheckBox(p, QRectF(2, 2, 8, 8), true);
        CheckBox(p, QRectF(2, 14, 8, 8), true);
        p.setPen(Stroke(kOutline, 1.5));
        p.drawLine(QPointF(13, 6), QPointF(22, 6));
        p.drawLine(QPointF(13, 18), QPointF(22, 18));
    });
}

QIcon InvertChecks() {
    return Make([](QPainter& p) {
        CheckBox(p, QRectF(2, 2, 8, 8), true);
        CheckBox(p, QRectF(14, 14, 8, 8), false);
        Arrow(p, {13, 4}, {19, 10}, kBlue, 2);
        Arrow(p, {11, 20}, {5, 14}, kBlue, 2);
    });
}

QIcon Refresh() {
    return Make([](QPainter& p) {
        p.setPen(Stroke(kBlue, 2.8));
        p.setBrush(Qt::NoBrush);
        const QRectF circle(4, 4, 16, 16);
        p.drawArc(circle, 60 * 16, 260 * 16);
        p.setPen(Outline(1));
        p.setBrush(kBlue);
        QPolygonF head{{13, 1}, {19.5, 5.5}, {12.5, 9.5}};
        p.drawPolygon(head);
    });
}

QIcon ArchiveFiles() {
    return Make([](QPainter& p) {
        Box(p, QRectF(3, 11, 18, 11));
        Arrow(p, {12, 1.5}, {12, 10}, kGreen, 3);
    });
}

QIcon DeleteFiles() {
    return Make([](QPainter& p) {
        p.setPen(Outline());
        p.setBrush(kGrey.lighter(130));
        QPolygonF bin{{5, 7}, {19, 7}, {17.5, 22}, {6.5, 22}};
        p.drawPolygon(bin);
        p.setBrush(kGrey);
        p.drawRect(QRectF(3.5, 4, 17, 3));
        p.drawRect(QRectF(9.5, 2, 5, 2));
        p.setPen(Stroke(kRed, 2.6));
        p.drawLine(QPointF(9, 11), QPointF(15, 18));
        p.drawLine(QPointF(15, 11), QPointF(9, 18));
    });
}

QIcon OpenArchive() {
    return Make([](QPainter& p) {
        p.setPen(Outline());
        p.setBrush(kAmber.darker(110));
        QPolygonF back{{2, 5}, {9, 5}, {11, 7.5}, {20, 7.5}, {20, 20}, {2, 20}};
        p.drawPolygon(back);
        p.setBrush(kAmber);
        QPolygonF front{{2, 20}, {5.5, 11}, {23, 11}, {20, 20}};
        p.drawPolygon(front);
    });
}

QIcon AbortOperation() {
    return Make([](QPainter& p) {
        p.setPen(Outline());
        p.setBrush(kRed);
        QPolygonF octagon;
        for (int i = 0; i < 8; ++i) {
            const double angle = (22.5 + 45.0 * i) * 3.14159265358979 / 180.0;
            octagon << QPointF(12 + 10 * std::cos(angle), 12 + 10 * std::sin(angle));
        }
        p.drawPolygon(octagon);
        p.setPen(Stroke(Qt::white, 2.6));
        p.drawLine(QPointF(8.5, 8.5), QPointF(15.5, 15.5));
        p.drawLine(QPointF(15.5, 8.5), QPointF(8.5, 15.5));
    });
}

QIcon VerifySimple() {
    return Make([](QPainter& p) {
        Sheet(p, QRectF(4, 2, 15, 20));
        Tick(p, {11.5, 13}, 1.3);
    });
}

QIcon VerifyComplete() {
    return Make([](QPainter& p) {
        Sheet(p, QRectF(3, 2, 14, 19));
        Tick(p, {9, 8.5}, 0.9);
        Tick(p, {9, 15}, 0.9);
        p.setPen(Outline(1.6));
        p.setBrush(QColor(0xdd, 0xea, 0xfb));
        p.drawEllipse(QPointF(16.5, 15.5), 4.2, 4.2);
        p.setPen(Stroke(kOutline, 2.6));
        p.drawLine(QPointF(19.5, 18.5), QPointF(22.5, 21.5));
    });
}

QIcon ExtractSelected() {
    return Make([](QPainter& p) {
        Box(p, QRectF(2, 12, 14, 10));
        Arrow(p, {9, 10}, {9, 2}, kBlue, 2.6);
        CheckBox(p, QRectF(15, 3, 7.5, 7.5), true);
    });
}

QIcon ExtractAll() {
    return Make([](QPainter& p) {
        Box(p, QRectF(3, 12, 18, 10));
        Arrow(p, {7, 10}, {7, 2}, kBlue, 2.4);
        Arrow(p, {12, 10}, {12, 2}, kBlue, 2.4);
        Arrow(p, {17, 10}, {17, 2}, kBlue, 2.4);
    });
}

QIcon PackNew() {
    return Make([](QPainter& p) {
        Box(p, QRectF(2, 11, 16, 11));
        Arrow(p, {10, 1.5}, {10, 9.5}, kGreen, 2.8);
        p.setPen(Outline(1));
        p.setBrush(kAmber);
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double angle = (-90.0 + 36.0 * i) * 3.14159265358979 / 180.0;
            const double radius = i % 2 == 0 ? 5.0 : 2.2;
            star << QPointF(18.5 + radius * std::cos(angle), 6 + radius * std::sin(angle));
        }
        p.drawPolygon(star);
    });
}

QIcon PackAdd() {
    return Make([](QPainter& p) {
        Box(p, QRectF(2, 11, 16, 11));
        Arrow(p, {10, 1.5}, {10, 9.5}, kGreen, 2.8);
        Plus(p, {18.5, 6}, 4.5, kGreen);
    });
}

QIcon Span() {
    return Make([](QPainter& p) {
        Box(p, QRectF(1.5, 2, 9, 9));
        p.setPen(Outline());
        p.setBrush(kBox);
        p.drawRect(QRectF(14, 2, 8, 5.5));
        p.drawRect(QRectF(14, 9.5, 8, 5.5));
        p.drawRect(QRectF(14, 17, 8, 5.5));
        Arrow(p, {6, 13}, {6, 20}, kBlue, 2);
        Arrow(p, {6, 20}, {12, 20}, kBlue, 2);
    });
}

QIcon Merge() {
    return Make([](QPainter& p) {
        p.setPen(Outline());
        p.setBrush(kBox);
        p.drawRect(QRectF(2, 2, 8, 5.5));
        p.drawRect(QRectF(2, 9.5, 8, 5.5));
        p.drawRect(QRectF(2, 17, 8, 5.5));
        Box(p, QRectF(13.5, 12.5, 9, 9.5));
        Arrow(p, {11.5, 5}, {18, 5}, kBlue, 2);
        Arrow(p, {18, 5}, {18, 10.5}, kBlue, 2);
    });
}

namespace {

void DrawProgram(QPainter& p) {
    Sheet(p, QRectF(6.5, 1.5, 11, 13));
    Arrow(p, {12, 4.5}, {12, 11}, kGreen, 2.6);
    Box(p, QRectF(2, 10.5, 20, 12));
}

}  // namespace

QIcon Program() { return Make(DrawProgram); }

void PaintProgram(QPainter& painter, int size) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 24.0, size / 24.0);
    DrawProgram(painter);
    painter.restore();
}

}  // namespace tavik::icons
