#pragma once
// The choice among several versions of one name that the search page found in several
// archives: a list, newest first, of which the user takes one.
#include <QString>
#include <QStringList>

class QWidget;

namespace tavik {
class TChoosers;
}

namespace vendrask {

// Shows the versions (their texts, newest first) of name through the choosers' modal dialog.
// Returns the position of the chosen one, or -1 when the user cancels.
int ChooseVersion(tavik::TChoosers& choosers, QWidget* parent, const QString& name, const QStringList& versions);

}  // namespace vendrask
