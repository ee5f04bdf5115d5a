#pragma once
// Qt's own texts in German: the standard dialogs, Qt's warnings and the context menus of the
// edits come from Qt's translation, and Qt's date and number display follows the German locale.
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

#include <memory>

namespace vendrask {

// Sets the German locale and installs Qt's German translation from the directory on the
// running application. The translator returned must live as long as the texts are wanted;
// without the translation file nothing is installed (Qt's texts stay English) and nothing is
// said: a missing translation must not stop the program.
std::unique_ptr<QTranslator> InstallGermanQtTexts(
    const QString& directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

}  // namespace vendrask
