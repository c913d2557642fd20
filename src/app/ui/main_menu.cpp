#include "app/ui/main_menu.h"

#include <QFileDialog>
#include <QMenu>

#include "app/ui/form1.h"

namespace orv::ui {

MainMenu::MainMenu(Form1& form) : QObject(&form), form_(form), menu_(new QMenu(&form)) {
    menu_->setObjectName(QStringLiteral("MainMenu"));
    // Each entry presses its button, so it does exactly what the button does.
    auto press = [this](QPushButton* button) {
        menu_->addAction(button->text(), button, &QPushButton::click);
    };
    for (QPushButton* b :
         {form.CmdCapScreen, form.CmdCapRect, form.CmdCapActiveWindow, form.CmdClear}) {
        press(b);
    }
    menu_->addSeparator();
    press(form.CmdSaveBmp);
    menu_->addSeparator();
    for (QPushButton* b : {form.Command6, form.Command4, form.Command5}) press(b);
    menu_->addAction(QStringLiteral("发送行 (TXD)"), this, [this] {
        form_.Text7()->setFocus(Qt::OtherFocusReason);
        form_.Text7()->selectAll();
    });
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("打开视频…"), this, &MainMenu::openVideo);
    // The player's area from the video rather than the screen: a window over
    // the player then no longer spoils the frames. Where the screen cannot be
    // read, the video is the only source and the entry stays ticked.
    QAction* video = menu_->addAction(QStringLiteral("从视频直接采集"));
    video->setObjectName(QStringLiteral("VideoSource"));
    video->setCheckable(true);
    connect(video, &QAction::triggered, this,
            [this](bool on) { form_.sources()->chooseVideoSource(on); });
    connect(menu_, &QMenu::aboutToShow, this, [this, video] {
        const bool onlyVideo = form_.sources()->videoIsTheOnlySource();
        video->setChecked(onlyVideo || form_.sources()->videoSourceChosen());
        video->setEnabled(!onlyVideo);
    });

    form.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&form, &QWidget::customContextMenuRequested, this,
            [this](QPoint at) { menu_->popup(form_.mapToGlobal(at)); });
    form.setToolTip(
        QStringLiteral("右键单击背景打开菜单：窗口下方的捕获、保存和输出功能，以及打开视频"));
}

void MainMenu::openVideo() {
    const QString file =
        chooseVideo ? chooseVideo()
                    : QFileDialog::getOpenFileName(
                          &form_, QStringLiteral("打开视频"), QString(),
                          QStringLiteral("视频 (*.avi *.mp4 *.mkv *.mov *.webm *.mpg *.mpeg *.wmv "
                                         "*.flv *.m4v *.gif);;所有文件 (*)"));
    if (!file.isEmpty()) form_.WindowsMediaPlayer1->open(file);
}

}  // namespace orv::ui
