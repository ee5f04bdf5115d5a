#pragma once
// The question for the password of an archive's encrypted entries.
#include <QString>

#include <string>

class QWidget;

namespace tavik {
class TChoosers;
}

namespace vendrask {

// Shows the dialog (input hidden); false when the user cancels or enters nothing.
bool AskArchivPassword(tavik::TChoosers& choosers, QWidget* parent, const QString& archive, std::string& password);

}  // namespace vendrask
