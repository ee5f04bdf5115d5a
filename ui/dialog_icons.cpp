#include "ui/dialog_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "host/widgets/icon_palette.h"

namespace vendrask {

namespace {

// Every image is drawn on a 32 x 32 grid and scaled to the size asked for.
constexpr qreal kGrid = 32.0;

using namespace tavik::icons;  // the main window's palette, so that both windows look alike

const QColor kFolder = kAmber;
const QColor kFolderDark = kFolder.darker(140);

void DrawCheckMark(QPainter& p) {
    QPainterPath tick;
    tick.moveTo(5, 17);
    tick.lineTo(12, 25);
    tick.lineTo(27, 7);
    p.setPen(QPen(kOutline, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    p.setPen(QPen(kGreen, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
}

void DrawCross(QPainter& p) {
    QPainterPath cross;
    cross.moveTo(8, 8);
    cross.lineTo(24, 24);
    cross.moveTo(24, 8);
    cross.lineTo(8, 24);
    p.setPen(QPen(kOutline, 7, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cross);
    p.setPen(QPen(kRed, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cross);
}

void DrawFolder(QPainter& p) {
    QPainterPath back;
    back.moveTo(3, 8);
    back.lineTo(11, 8);
    back.lineTo(14, 11);
    back.lineTo(27, 11);
    back.lineTo(27, 25);
    back.lineTo(3, 25);
    back.closeSubpath();
    p.setPen(QPen(kFolderDark, 1.5));
    p.setBrush(kFolderDark.lighter(130));
    p.drawPath(back);
    p.setBrush(kFolder);
    p.drawRect(QRectF(3, 14, 24, 11));
}

void DrawPage(QPainter& p) {
    QPainterPath page;
    page.moveTo(7, 3);
    page.lineTo(19, 3);
    page.lineTo(25, 9);
    page.lineTo(25, 29);
    page.lineTo(7, 29);
    page.closeSubpath();
    p.setPen(QPen(kOutline, 1.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(kPaper);
    p.drawPath(page);
    p.drawPolyline(QPolygonF({QPointF(19, 3), QPointF(19, 9), QPointF(25, 9)}));
    p.setPen(QPen(kGrey, 1.5));
    for (qreal y : {13.0, 17.0, 21.0}) p.drawLine(QPointF(10, y), QPointF(22, y));
}

void DrawList(QPainter& p) {
    p.setPen(QPen(kOutline, 1.5));
    p.setBrush(kPaper);
    p.drawRect(QRectF(3, 4, 22, 22));
    p.setPen(QPen(kBlue, 2.5));
    for (qreal y : {9.0, 15.0, 21.0}) p.drawLine(QPointF(7, y), QPointF(21, y));
}

// A round badge at the lower right: a plus to add, a minus to remove.
void DrawBadge(QPainter& p, const QColor& colour, bool plus) {
    const QRectF disc(17, 17, 14, 14);
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(colour);
    p.drawEllipse(disc);
    p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::FlatCap));
    const QPointF centre = disc.center();
    p.drawLine(centre - QPointF(4, 0), centre + QPointF(4, 0));
    if (plus) p.drawLine(centre - QPointF(0, 4), centre + QPointF(0, 4));
}

void Draw(QPainter& p, TDialogIcon kind) {
    switch (kind) {
    case TDialogIcon::Cancel:
        DrawCross(p);
        break;
    case TDialogIcon::Ok:
        DrawCheckMark(p);
        break;
    case TDialogIcon::AddFolder:
        DrawFolder(p);
        DrawBadge(p, kGreen, true);
        break;
    case TDialogIcon::AddFile:
        DrawPage(p);
        DrawBadge(p, kGreen, true);
        break;
    case TDialogIcon::Remove:
        DrawList(p);
        DrawBadge(p, kRed, false);
        break;
    case TDialogIcon::ChooseTarget:
        DrawFolder(p);
        break;
    }
}

QPixmap Render(TDialogIcon kind, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    Draw(painter, kind);
    return pixmap;
}

}  // namespace

QIcon DialogIcon(TDialogIcon kind) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(Render(kind, size));
    return icon;
}

}  // namespace vendrask
