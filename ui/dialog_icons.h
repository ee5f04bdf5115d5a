#pragma once
// The button images of the two workbench dialogs, drawn rather than loaded, so that they stay
// sharp at every size and need no resource files.
#include <QIcon>

namespace vendrask {

enum class TDialogIcon { Cancel, Ok, AddFolder, AddFile, Remove, ChooseTarget };

QIcon DialogIcon(TDialogIcon kind);

}  // namespace vendrask
