#include "ui/dialog_strip.h"

#include <QAction>
#include <QBoxLayout>
#include <QFrame>
#include <QToolButton>

namespace vendrask {

namespace {

constexpr int kButtonSize = 65;
constexpr int kImageSize = 32;

QFont SmallFont(const QFont& base) {
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 0.85);
    else if (font.pixelSize() > 0)
        font.setPixelSize(qMax(8, font.pixelSize() * 85 / 100));
    return font;
}

}  // namespace

QToolButton* AddStripButton(QWidget& dialog, QBoxLayout& strip, const TStripButton& button) {
    auto* tool = new QToolButton(&dialog);
    tool->setObjectName(QString::fromLatin1(button.Name));
    tool->setText(button.Caption);
    tool->setToolTip(button.Hint);
    tool->setStatusTip(button.Hint);
    tool->setIcon(DialogIcon(button.Icon));
    tool->setIconSize(QSize(kImageSize, kImageSize));
    tool->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tool->setAutoRaise(true);
    tool->setFixedSize(kButtonSize, kButtonSize);
    tool->setFont(SmallFont(dialog.font()));
    // Reached by its key, like the buttons of the host framework, so it takes no focus.
    tool->setFocusPolicy(Qt::NoFocus);
    strip.addWidget(tool);
    return tool;
}

QWidget* NewStripLine(QWidget& dialog) {
    auto* line = new QFrame(&dialog);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QAction* AddKeyAction(QWidget& dialog, const char* name, const QList<QKeySequence>& keys) {
    auto* action = new QAction(&dialog);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    dialog.addAction(action);
    return action;
}

QList<QKeySequence> EnterKeys() { return {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}; }

}  // namespace vendrask
