#include "app/ui/language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <vector>

namespace orv::ui {

std::string keptLanguage() {
    const QSettings settings(QStringLiteral("orv-tool"), QStringLiteral("orv-tool"));
    return settings.value(QStringLiteral("ui/language")).toString().toStdString();
}

std::vector<std::string> desktopLanguages() {
    std::vector<std::string> languages;
    for (const QString& l : QLocale::system().uiLanguages()) languages.push_back(l.toStdString());
    return languages;
}

bool useLanguage(QCoreApplication& app, const std::string& language) {
    if (language != "en") return true;  // the captions are Chinese as written
    auto* english = new QTranslator(&app);
    if (!english->load(QStringLiteral(":/i18n/orv-tool_en.qm"))) {
        delete english;
        return false;
    }
    return QCoreApplication::installTranslator(english);
}

}  // namespace orv::ui
