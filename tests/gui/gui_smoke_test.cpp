// The main window comes up as laid out.
#include <QApplication>
#include <QtTest>

#include "app/ui/form1.h"

class GuiSmokeTest : public QObject {
    Q_OBJECT
  private slots:
    void mainWindowStartsBorderlessAtItsDesignPlace() {
        orv::ui::Form1 form(orv::imageState(), std::make_unique<orv::platform::QtScreenGrabber>());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Marlune"));
        QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(form.size(), QSize(684, 184));
        QCOMPARE(form.pos(), QPoint(385, 74));
    }
};

QTEST_MAIN(GuiSmokeTest)
#include "gui_smoke_test.moc"
