// frmMain: the DIB workbench window.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "common/result.h"
#include "common/ui/widgets.h"
#include "dib/frame_pipeline.h"
#include "dib/image_state.h"
#include "dib/ui/picture_box.h"

namespace orv::ui {

// The DIB workbench: the source picture, the result picture and the eight
// image operations on them, with their timings. It shows the frame
// pipeline's source and engrave, and reads and engraves through it.
class frmMain : public QWidget, private FrameSink {
    Q_OBJECT
  public:
    // `state` holds the grids and the frame; `pipeline` the source picture.
    frmMain(ImageState& state, FramePipeline& pipeline, QWidget* parent = nullptr);

    PictureBox* picSource;      // source picture; shows each captured frame
    PictureBox* picPurpose;     // result picture of the last operation
    QPushButton* cmdCopy;       // image copy button
    QPushButton* cmdZoom;       // zoom button
    QPushButton* cmdSharp;      // sharpen button
    QPushButton* cmdPencil;     // engrave (one-bit reduction) button
    QPushButton* cmdStatChart;  // histogram equalisation button
    QPushButton* cmdBright;     // brightness and contrast button
    QPushButton* cmdGetData;    // read the source picture button
    QPushButton* cmdDrawPic;    // draw the result button
    QLineEdit* txtSharp;        // sharpen strength
    QLineEdit* txtPencil;       // engrave parameter, without effect on the result
    QLineEdit* txtRed;          // red brightness
    QLineEdit* txtGreen;        // green brightness
    QLineEdit* txtBlue;         // blue brightness
    QLineEdit* txtZoomX;        // horizontal zoom factor
    QLineEdit* txtZoomY;        // vertical zoom factor
    QLabel* Label1;             // title
    QLabel* Label2;             // engrave time, "TimePencil:"
    QLabel* Label3;             // read time, "TimeGet:"
    QLabel* Label4;             // draw time, "TimeDraw:"
    QTimer* Timer1;             // 10 s timer without action; stopped by the stop button
    QMenu* Menu;                // right-click menu: the buttons below the visible edge

    Status cmdGetData_Click();  // read picSource into SourceGrid, unless refused
    void cmdDrawPic_Click();    // draw PurposeGrid into picPurpose
    void cmdCopy_Click();       // copy the source picture
    void cmdStatChart_Click();  // equalise the source picture's histogram
    void cmdBright_Click();     // brightness from txtRed, txtGreen, txtBlue
    void cmdZoom_Click();       // zoom by txtZoomX and txtZoomY
    void cmdSharp_Click();      // sharpen by txtSharp
    void cmdPencil_Click();     // engrave into MonoFrame and the result picture
    void picPurpose_Click();    // mark the result's bottom-right pixel red
    void picSource_Change();    // a new source picture (the pipeline engraves it): show it

    // The last refusal shown to the user, empty when none.
    QString lastRefusal() const { return refusals_.last(); }

  signals:
    // The window was closed or minimised (false), or came back (true), by
    // the window manager or by code.
    void onScreenChanged(bool shown);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // What the pipeline tells: the source picture, the timings, refusals.
    void sourceChanged(const Picture& source) override;
    void dataRead(std::int32_t ms) override;
    void engraved(std::int32_t ms) override;
    void refused(const std::string& why) override;

    // The operation pattern: read, run, set the result size, draw. A refused
    // procedure shows its message and leaves the result as it was.
    void runOperation(const std::function<Result<std::int32_t>()>& procedure, std::int32_t width,
                      std::int32_t height);
    void refuse(const QString& message) { refusals_.show(message); }

    ImageState& state_;
    FramePipeline& pipeline_;
    MessageBoxes refusals_;
};

}  // namespace orv::ui
