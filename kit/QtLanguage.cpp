#include "kit/QtLanguage.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace QtLanguage {

bool Apply(const std::string& code) {
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    std::string lang = code.substr(0, code.find_first_of(".@"));
    if (lang.empty() || lang == "C" || lang == "POSIX") return false;
    auto translator = std::make_unique<QTranslator>();
    // "qtbase_pl_PL" falls back to "qtbase_pl".
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_") + QString::fromStdString(lang), dir)) return false;
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
    return true;
}

}  // namespace QtLanguage
