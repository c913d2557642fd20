// The windows in Chinese and in English: every caption fits its control at
// the default font, English has no Chinese left, and every control a screen
// reader meets has a name.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QTranslator>
#include <QtTest>

#include "app/ui/language.h"
#include "app/ui/main_menu.h"
#include "tool_fixture.h"

using orv::test::control;

namespace {

const QRegularExpression kChinese(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));

// The tool's windows: the main window, the workbench, the folder chooser.
QList<QWidget*> windowsOf(orv::ui::Form1* form) {
    form->Label13_Click();  // the folder chooser, made on its first use
    return {form, form->workbench(), form->dialog()};
}

// A control's caption and the pixels it has for it: a button's or a check
// box's contents, a label's; none for other controls.
std::pair<QString, int> captionAndRoom(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        const bool box = qobject_cast<QCheckBox*>(w) != nullptr;
        const QRect room = b->style()->subElementRect(
            box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, b);
        return {b->text(), room.width()};
    }
    if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap()) {
        return {l->text(), l->contentsRect().width()};
    }
    return {};
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT
  private slots:
    // Every Chinese caption, and its English, fits its control; English has
    // no Chinese left in captions, tooltips, names or menu entries.
    void captionsFitAndNameEveryControl() {
        QStringList translated;  // the controls whose captions are Chinese
        for (bool english : {false, true}) {
            QTranslator translator;
            if (english) {
                QVERIFY(translator.load(QStringLiteral(":/i18n/orv-tool_en.qm")));
                QCoreApplication::installTranslator(&translator);
            }
            orv::test::Tool tool(std::make_unique<orv::test::FakeScreen>());
            orv::ui::Form1* form = tool.form.get();
            auto check = [&](const QString& where, const QString& text) {
                QVERIFY2(!english || !text.contains(kChinese), qPrintable(where + ": " + text));
            };
            for (QWidget* window : windowsOf(form)) {
                for (QWidget* w : window->findChildren<QWidget*>()) {
                    if (w->objectName().isEmpty()) continue;
                    const QString name = window->objectName() + "/" + w->objectName();
                    check(name + " tooltip", w->toolTip());
                    const auto [caption, room] = captionAndRoom(w);
                    if (caption.isEmpty() && w->focusPolicy() != Qt::NoFocus) {
                        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(name + " unnamed"));
                        check(name + " name", w->accessibleName());
                    }
                    if (!english && caption.contains(kChinese)) translated << name;
                    if (!translated.contains(name)) continue;
                    check(name, caption);
                    const int width = w->fontMetrics().horizontalAdvance(caption);
                    QVERIFY2(width <= room,
                             qPrintable(QStringLiteral("%1: \"%2\" takes %3 of %4 pixels")
                                            .arg(name, caption)
                                            .arg(width)
                                            .arg(room)));
                }
            }
            for (QMenu* menu : {form->mainMenu()->menu(), form->workbench()->Menu}) {
                for (QAction* a : menu->actions()) check(QStringLiteral("menu entry"), a->text());
            }
            QCoreApplication::removeTranslator(&translator);
        }
        QVERIFY(translated.size() > 20);
    }
};

QTEST_MAIN(LanguageTest)
#include "language_test.moc"
