#include "app/ui/logo.h"

#include <QPainter>

namespace orv::ui {

QPixmap makeLogo(QSize size) {
    QPixmap logo(size);
    logo.fill(QColor(156, 190, 48));
    QPainter p(&logo);
    p.setPen(QColor(24, 32, 8));
    QFont f = p.font();
    f.setPixelSize(16);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 6, size.width(), 22), Qt::AlignCenter, QStringLiteral("ORV"));
    f.setPixelSize(10);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 28, size.width(), 14), Qt::AlignCenter, QStringLiteral("128 x 64 LCD"));
    for (int x = 4; x < size.width() - 4; x += 4) p.drawPoint(x, size.height() - 8);
    return logo;
}

}  // namespace orv::ui
