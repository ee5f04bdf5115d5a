#pragma once
// The strip of flat buttons at the top of the workbench dialogs, and the key bindings that run
// the same handlers as the buttons.
#include <QKeySequence>
#include <QList>
#include <QString>

#include "ui/dialog_icons.h"

class QAction;
class QBoxLayout;
class QToolButton;
class QWidget;

namespace vendrask {

struct TStripButton {
    const char* Name;  // objectName
    QString Caption;
    QString Hint;
    TDialogIcon Icon;
};

// A flat 65 x 65 button, image above the caption in a small font, appended to strip.
QToolButton* AddStripButton(QWidget& dialog, QBoxLayout& strip, const TStripButton& button);

// The line that closes the strip below.
QWidget* NewStripLine(QWidget& dialog);

// An action of the dialog that fires on any of the keys while the dialog is active.
QAction* AddKeyAction(QWidget& dialog, const char* name, const QList<QKeySequence>& keys);

// The keys Enter stands for: the main key and the one on the number pad.
QList<QKeySequence> EnterKeys();

}  // namespace vendrask
