#include "dib/ui/frm_main.h"

#include <QCloseEvent>

#include "common/numbers.h"
#include "dib/img_deal.h"

namespace orv::ui {
namespace {

// Design positions are in twips; 15 to a pixel.
QRect twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

std::string text(const QLineEdit* box) { return box->text().toStdString(); }

QString timing(const char* prefix, std::int32_t ms) {
    return QString::fromLatin1(prefix) + QString::number(ms);
}

}  // namespace

frmMain::frmMain(ImageState& state, FramePipeline& pipeline, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      state_(state),
      pipeline_(pipeline),
      refusals_(this, QStringLiteral("DIB")) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("DIB"));
    setFixedSize(6765 / 15, 1500 / 15);

    auto button = [this](const char* name, const QString& caption, QRect at) {
        return makeControl<QPushButton>(this, name, at, caption);
    };
    auto box = [this](const char* name, const QString& initial, QRect at) {
        return makeControl<QLineEdit>(this, name, at, initial);
    };
    auto label = [this](const char* name, const QString& caption, QRect at) {
        return makeControl<QLabel>(this, name, at, caption);
    };
    // In tab order.
    picSource = makeControl<PictureBox>(this, "picSource", twips(2160, 120, 1935, 975));
    cmdCopy = button("cmdCopy", tr("复制"), twips(1920, 3960, 1215, 495));
    picPurpose = makeControl<PictureBox>(this, "picPurpose", twips(120, 120, 1935, 975));
    picPurpose->setBackColor(palette().color(QPalette::Base));
    picPurpose->cls();
    cmdZoom = button("cmdZoom", tr("缩放"), twips(3360, 3960, 1215, 495));
    cmdSharp = button("cmdSharp", tr("锐化"), twips(4800, 3960, 1215, 495));
    cmdPencil = button("cmdPencil", tr("雕刻"), twips(6240, 3960, 1215, 495));
    cmdStatChart = button("cmdStatChart", tr("直方图"), twips(7680, 3960, 1215, 495));
    cmdBright = button("cmdBright", tr("亮度对比度"), twips(9120, 3960, 1215, 495));
    cmdGetData = button("cmdGetData", tr("获取数据"), twips(480, 3960, 1215, 495));
    cmdDrawPic = button("cmdDrawPic", tr("绘制图像"), twips(10560, 3960, 1215, 495));
    txtSharp = box("txtSharp", QStringLiteral("8"), twips(4680, 3360, 1215, 270));
    txtPencil = box("txtPencil", QStringLiteral("25"), twips(6120, 3345, 1215, 270));
    txtRed = box("txtRed", QStringLiteral("255"), twips(9120, 2760, 1215, 270));
    txtGreen = box("txtGreen", QStringLiteral("0"), twips(9120, 3120, 1215, 270));
    txtBlue = box("txtBlue", QStringLiteral("255"), twips(9120, 3480, 1215, 270));
    txtZoomX = box("txtZoomX", QStringLiteral("1.2"), twips(3360, 3240, 1215, 270));
    txtZoomY = box("txtZoomY", QStringLiteral("0.8"), twips(3360, 3585, 1215, 270));
    Label1 =
        label("Label1", QStringLiteral("Marlune 2006 DIB PROJECT"), twips(120, 1200, 2415, 255));
    Label2 = label("Label2", QStringLiteral("Label2"), twips(4560, 240, 1815, 255));
    Label3 = label("Label3", QStringLiteral("Label3"), twips(4560, 600, 1815, 255));
    Label4 = label("Label4", QStringLiteral("Label4"), twips(4560, 960, 1935, 255));
    // What a screen reader says of the boxes and pictures, which have no caption.
    const std::pair<QWidget*, QString> names[] = {
        {picSource, tr("源图像")},   {picPurpose, tr("结果图像")}, {txtSharp, tr("锐化强度")},
        {txtPencil, tr("雕刻参数")}, {txtRed, tr("红")},           {txtGreen, tr("绿")},
        {txtBlue, tr("蓝")},         {txtZoomX, tr("横向缩放")},   {txtZoomY, tr("纵向缩放")},
    };
    for (const auto& [control, name] : names) control->setAccessibleName(name);
    const QList<QWidget*> order{picSource, cmdCopy,      picPurpose, cmdZoom,    cmdSharp,
                                cmdPencil, cmdStatChart, cmdBright,  cmdGetData, cmdDrawPic,
                                txtSharp,  txtPencil,    txtRed,     txtGreen,   txtBlue,
                                txtZoomX,  txtZoomY};
    for (QWidget* w : order) w->setFocusPolicy(Qt::StrongFocus);
    for (int i = 0; i + 1 < order.size(); ++i) setTabOrder(order[i], order[i + 1]);
    // The buttons lie below the window's visible edge: a right-click on its
    // background reaches them, in their order on the design.
    Menu = buttonMenu(*this,
                      {{cmdGetData, cmdCopy, cmdZoom, cmdSharp, cmdPencil, cmdStatChart, cmdBright},
                       {cmdDrawPic}});
    Menu->setObjectName(QStringLiteral("WorkbenchMenu"));
    setToolTip(tr("右键单击背景打开菜单：窗口下方的各项图像操作"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10000);
    Timer1->start();

    connect(cmdGetData, &QPushButton::clicked, this, &frmMain::cmdGetData_Click);
    connect(cmdDrawPic, &QPushButton::clicked, this, &frmMain::cmdDrawPic_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &frmMain::cmdCopy_Click);
    connect(cmdStatChart, &QPushButton::clicked, this, &frmMain::cmdStatChart_Click);
    connect(cmdBright, &QPushButton::clicked, this, &frmMain::cmdBright_Click);
    connect(cmdZoom, &QPushButton::clicked, this, &frmMain::cmdZoom_Click);
    connect(cmdSharp, &QPushButton::clicked, this, &frmMain::cmdSharp_Click);
    connect(cmdPencil, &QPushButton::clicked, this, &frmMain::cmdPencil_Click);
    connect(picPurpose, &PictureBox::clicked, this, &frmMain::picPurpose_Click);
    // The engrave reads a source the size of the picture, showing its
    // background where a captured picture does not reach.
    pipeline_.setSourceFrame(picSource->width(), picSource->height(),
                             picSource->backColor().rgb() | 0xFF000000u);
    pipeline_.addSink(*this);
}

Status frmMain::cmdGetData_Click() {
    picSource->setBorder(PictureBox::Border::None);
    return pipeline_.getData();
}

void frmMain::dataRead(std::int32_t ms) { Label3->setText(timing("TimeGet:", ms)); }

void frmMain::refused(const std::string& why) { refuse(QString::fromStdString(why)); }

void frmMain::cmdDrawPic_Click() {
    picPurpose->setBorder(PictureBox::Border::None);
    picPurpose->cls();
    // Before any operation there is nothing to draw.
    Result<std::int32_t> ms = DrawPic(picPurpose->surface(), state_.PurposeHeight,
                                      state_.PurposeWidth, state_.PurposeGrid, kBitsPerPixel);
    picPurpose->refresh();  // Refresh: shown once the operation is done
    if (ms) Label4->setText(timing("TimeDraw:", ms.value()));
}

void frmMain::runOperation(const std::function<Result<std::int32_t>()>& procedure,
                           std::int32_t width, std::int32_t height) {
    Result<std::int32_t> ms = procedure();
    if (!ms) {
        refuse(QString::fromStdString(ms.error()));
        return;
    }
    state_.PurposeWidth = width;
    state_.PurposeHeight = height;
    cmdDrawPic_Click();
}

void frmMain::cmdCopy_Click() {
    if (!cmdGetData_Click()) return;
    ImageState& s = state_;
    runOperation(
        [&] { return CopyData(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, 32); },
        s.SourceWidth, s.SourceHeight);
}

void frmMain::cmdStatChart_Click() {
    if (!cmdGetData_Click()) return;
    ImageState& s = state_;
    runOperation(
        [&] { return StatChart(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, 32); },
        s.SourceWidth, s.SourceHeight);
}

void frmMain::cmdBright_Click() {
    if (!cmdGetData_Click()) return;
    Result<std::int32_t> red = num::parseInt32(text(txtRed), "red brightness (txtRed)");
    Result<std::int32_t> green = num::parseInt32(text(txtGreen), "green brightness (txtGreen)");
    Result<std::int32_t> blue = num::parseInt32(text(txtBlue), "blue brightness (txtBlue)");
    for (const Result<std::int32_t>* r : {&red, &green, &blue}) {
        if (!*r) return refuse(QString::fromStdString(r->error()));
    }
    ImageState& s = state_;
    runOperation(
        [&] {
            return Bright(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, red.value(),
                          green.value(), blue.value(), 1.0f, 1.0f, 1.0f, 32);
        },
        s.SourceWidth, s.SourceHeight);
}

void frmMain::cmdZoom_Click() {
    if (!cmdGetData_Click()) return;
    ImageState& s = state_;
    Result<double> fy = num::parseDouble(text(txtZoomY));
    if (!fy)
        return refuse(QStringLiteral("zoom factor (txtZoomY): ") +
                      QString::fromStdString(fy.error()));
    Result<std::int32_t> newH = zoomedSize(fy.value(), s.SourceHeight, "height");
    if (!newH) return refuse(QString::fromStdString(newH.error()));
    Result<double> fx = num::parseDouble(text(txtZoomX));
    if (!fx)
        return refuse(QStringLiteral("zoom factor (txtZoomX): ") +
                      QString::fromStdString(fx.error()));
    Result<std::int32_t> newW = zoomedSize(fx.value(), s.SourceWidth, "width");
    if (!newW) return refuse(QString::fromStdString(newW.error()));
    runOperation(
        [&] {
            return Zoom(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, newW.value(),
                        newH.value(), 32);
        },
        newW.value(), newH.value());
}

void frmMain::cmdSharp_Click() {
    if (!cmdGetData_Click()) return;
    Result<float> k = num::parseSingle(text(txtSharp), "sharpen strength (txtSharp)");
    if (!k) return refuse(QString::fromStdString(k.error()));
    ImageState& s = state_;
    runOperation(
        [&] {
            return Sharp(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, k.value(), 32);
        },
        s.SourceWidth, s.SourceHeight);
}

void frmMain::cmdPencil_Click() {
    picSource->setBorder(PictureBox::Border::None);
    (void)pipeline_.engrave();  // a refusal shows through refused()
}

void frmMain::engraved(std::int32_t ms) {
    cmdDrawPic_Click();
    Label2->setText(timing("TimePencil:", ms));
}

void frmMain::picPurpose_Click() { picPurpose->pset(128, 64, 255); }

void frmMain::picSource_Change() {
    picSource->setBorder(PictureBox::Border::None);
    picSource->setPicture(toImage(pipeline_.source()));
}

void frmMain::sourceChanged(const Picture&) { picSource_Change(); }

void frmMain::closeEvent(QCloseEvent* event) {
    // The workbench lives as long as the tool; its close box only hides it.
    event->ignore();
    hide();
    emit onScreenChanged(false);
}

void frmMain::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) emit onScreenChanged(!isMinimized());
    QWidget::changeEvent(event);
}

}  // namespace orv::ui
