// The frame file of the main window: records go to the file named in the
// frame-file box, whose new text counts only once its editing is finished
// (Enter, or leaving the box), so that half-typed names never become files.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <string_view>

#include "common/ui/widgets.h"
#include "lcd/frame_file.h"

namespace orv::ui {

class FrameRecorder : public QObject {
    Q_OBJECT
  public:
    // `box` holds the path (the main window's Text9); failures and the cutting
    // back of a partial record show in `notice`.
    FrameRecorder(QLineEdit* box, NoticeLine* notice, QObject* parent);

    // Appends one record; a failure (shown in the notice line too) when it
    // did not go into the file.
    Status append(std::string_view record);
    // The path records go to.
    const QString& path() const { return path_; }

    // The frame-file box's starting text: D:\mov1.orv where that drive
    // exists, otherwise mov1.orv in the current directory.
    static QString defaultPath();

  private:
    QLineEdit* box_;
    NoticeLine* notice_;
    QString path_;
    FrameAppender appender_;
};

}  // namespace orv::ui
