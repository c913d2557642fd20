// The windows as main() puts them together: every control and timer is found
// by its design name, so that tests and accessibility tools can reach it.
#include <QApplication>
#include <QtTest>

#include "tool_fixture.h"

class GuiSmokeTest : public QObject {
    Q_OBJECT
  private slots:
    void everyControlIsFoundByItsDesignName() {
        orv::test::Tool tool;
        tool.form->Label13_Click();  // the folder chooser
        const struct {
            QWidget* window;
            const char* name;
            const char* controls;
        } windows[] = {
            {tool.form.get(), "Form1",
             "Label1 Label2 WindowsMediaPlayer1 Image1 Command1 Command2 Command3 Check1 Check2 "
             "Shape2 Label3 HScroll1 Label13 Label14 Text9 Picture2 Label4 Image2 Shape1 Text5 "
             "Text6 Label5 Label6 Label7 Label8 Label9 Label10 Label11 Line1 Line4 CmdCapScreen "
             "CmdCapRect CmdCapActiveWindow CmdClear CmdSaveBmp Command4 Command5 Command6 "
             "Command7 Text1 Text2 Text3 Text4 Text7 Label12 Text8 Picture1 Timer1 Timer2 Timer3"},
            {tool.form->workbench(), "frmMain",
             "picSource cmdCopy picPurpose cmdZoom cmdSharp cmdPencil cmdStatChart cmdBright "
             "cmdGetData cmdDrawPic txtSharp txtPencil txtRed txtGreen txtBlue txtZoomX txtZoomY "
             "Label1 Label2 Label3 Label4 Timer1"},
            {tool.form->dialog(), "Dialog", "Drive1 Dir1 Text1 OKButton CancelButton"},
        };
        for (const auto& w : windows) {
            QCOMPARE(w.window->objectName(), QString(w.name));
            for (const QString& name : QString(w.controls).split(' ')) {
                QVERIFY2(w.window->findChild<QObject*>(name), qPrintable(name));
            }
        }
    }
};

QTEST_MAIN(GuiSmokeTest)
#include "gui_smoke_test.moc"
