#include "app/ui/form1.h"

namespace orv::app {

Form1::Form1(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("Marlune"));
    setGeometry(kLeft, kTop, kWidth, kHeight);
    setFixedSize(kWidth, kHeight);
}

}  // namespace orv::app
