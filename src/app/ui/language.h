// The windows' language: Chinese, the source text of every caption, or
// English through the built-in translation.
#pragma once

#include <string>
#include <vector>

class QCoreApplication;

namespace orv::ui {

// The language the settings keep (ui/language), empty where none.
std::string keptLanguage();
// The desktop's languages, most preferred first ("zh-CN", "de-DE", ...).
std::vector<std::string> desktopLanguages();
// Puts the windows in `language` ("zh" or "en"); false where the English
// translation cannot be loaded (the captions then stay Chinese).
bool useLanguage(QCoreApplication& app, const std::string& language);

}  // namespace orv::ui
