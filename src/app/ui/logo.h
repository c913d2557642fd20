// The main window's logo: the tool's name over an LCD-like strip.
#pragma once

#include <QPixmap>

namespace orv::ui {

QPixmap makeLogo(QSize size);

}  // namespace orv::ui
