#include "ui/qt_german.h"

#include <QCoreApplication>
#include <QLocale>

namespace vendrask {

std::unique_ptr<QTranslator> InstallGermanQtTexts(const QString& directory) {
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    auto translator = std::make_unique<QTranslator>();
    if (!QCoreApplication::instance() || !translator->load(german, QStringLiteral("qtbase"), QStringLiteral("_"), directory))
        return nullptr;
    if (!QCoreApplication::installTranslator(translator.get())) return nullptr;
    return translator;
}

}  // namespace vendrask
