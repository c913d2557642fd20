#include "app/ui/main_menu.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "app/ui/capture_sources.h"
#include "common/ui/widgets.h"

namespace orv::ui {

MainMenu::MainMenu(QWidget& window, const Entries& entries)
    : QObject(&window), window_(window), menu_(buttonMenu(window, entries.buttons)) {
    menu_->setObjectName(QStringLiteral("MainMenu"));
    QLineEdit* line = entries.transmitLine;  // its entry ends the last group
    menu_->addAction(tr("发送行 (TXD)"), this, [line] {
        line->setFocus(Qt::OtherFocusReason);
        line->selectAll();
    });
    menu_->addSeparator();
    menu_->addAction(tr("打开视频…"), this, &MainMenu::openVideo);
    // The player's area from the video rather than the screen: a window over
    // the player then no longer spoils the frames. Where the screen cannot be
    // read, the video is the only source and the entry stays ticked.
    QAction* video = menu_->addAction(tr("从视频直接采集"));
    video->setObjectName(QStringLiteral("VideoSource"));
    video->setCheckable(true);
    CaptureSources& sources = entries.sources;
    connect(video, &QAction::triggered, this,
            [&sources](bool on) { sources.chooseVideoSource(on); });
    connect(menu_, &QMenu::aboutToShow, this, [&sources, video] {
        const bool onlyVideo = sources.videoIsTheOnlySource();
        video->setChecked(onlyVideo || sources.videoSourceChosen());
        video->setEnabled(!onlyVideo);
    });

    window.setToolTip(tr("右键单击背景打开菜单：窗口下方的捕获、保存和输出功能，以及打开视频"));
}

void MainMenu::openVideo() {
    const QString file = chooseVideo
                             ? chooseVideo()
                             : QFileDialog::getOpenFileName(
                                   &window_, tr("打开视频"), QString(),
                                   tr("视频 (*.avi *.mp4 *.mkv *.mov *.webm *.mpg *.mpeg *.wmv "
                                      "*.flv *.m4v *.gif);;所有文件 (*)"));
    if (!file.isEmpty()) emit videoChosen(file);
}

}  // namespace orv::ui
