#include "app/ui/form1.h"

#include <QFrame>
#include <cstdlib>

#include "app/capture_clock.h"
#include "app/ui/logo.h"
#include "app/ui/main_menu.h"

namespace orv::ui {
namespace {

// Design place and client size of the window, in pixels.
constexpr QRect kDesign(385, 74, 684, 184);

}  // namespace

Form1::Form1(const Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::Tool),
      state_(services.state),
      pipeline_(services.state, services.random),
      messages_(this, QStringLiteral("Marlune")) {
    exitProcess = [] { std::_Exit(0); };
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Marlune"));
    setGeometry(kDesign);
    setFixedSize(kDesign.size());
    dragByBackground(this);  // the window has no title bar to move it by
    buildControls();
    nameForScreenReaders();
    serial_ = new SerialPanel(services.port, messages_, *Notice, this);
    sources_ = new CaptureSources({*this, *Image1, *WindowsMediaPlayer1, *Notice, messages_},
                                  services.grabber, services.inspector);
    session_ = std::make_unique<app::CaptureSession>(pipeline_, *sources_);
    recorder_ = new FrameRecorder(Text9, Notice, this);
    menu_ = new MainMenu(*this, {{{CmdCapScreen, CmdCapRect, CmdCapActiveWindow, CmdClear},
                                  {CmdSaveBmp},
                                  {Command6, Command4, Command5}},
                                 serial_->Text7,
                                 *sources_});
    frmMain_ = std::make_unique<frmMain>(state_, pipeline_);
    pipeline_.addSink(*this);  // after the workbench: it shows a frame before it is filed
    frmMain_->move(kDesign.left(), kDesign.bottom() + 181);
    wire();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::buildControls() {
    auto button = [this](const char* name, const QString& caption, QRect at) {
        return makeControl<QPushButton>(this, name, at, caption);
    };
    auto box = [this](const char* name, const QString& initial, QRect at) {
        return makeControl<QLineEdit>(this, name, at, initial);
    };
    Label1 = makeControl<QLabel>(this, "Label1", {8, 0, 108, 12}, QStringLiteral("ORV Tool 12864"));
    QFont small = Label1->font();
    small.setPixelSize(10);
    Label1->setFont(small);
    Label2 = makeControl<ClickLabel>(this, "Label2", {640, 0, 41, 17}, tr("退出"));
    Label2->setAlignment(Qt::AlignCenter);
    setBackColour(Label2, QColor(192, 192, 192));
    WindowsMediaPlayer1 = makeControl<PlayerPanel>(this, "WindowsMediaPlayer1", {8, 16, 129, 161});
    Image1 = makeControl<ImageView>(this, "Image1", {152, 16, 193, 113});
    Image1->setToolTip(tr("缩略图会在视觉上失真，但不影响真实保存的图形内容！"));
    Command1 = button("Command1", tr("播放"), {352, 16, 65, 25});
    Command2 = button("Command2", tr("开始采集"), {352, 40, 65, 25});
    Command3 = button("Command3", tr("停止"), {352, 64, 65, 25});
    Check1 = makeControl<QCheckBox>(this, "Check1", {352, 96, 65, 17}, tr("DIB窗口"));
    Check1->setChecked(true);
    Check2 = makeControl<QCheckBox>(this, "Check2", {352, 112, 57, 17}, tr("录制"));
    Shape2 = makeControl<Lamp>(this, "Shape2", {408, 144, 9, 9});
    Label3 = makeControl<QLabel>(this, "Label3", {152, 136, 97, 17});
    HScroll1 = makeControl<QScrollBar>(this, "HScroll1", {152, 152, 105, 17}, Qt::Horizontal);
    HScroll1->setRange(app::kMinFrameRate, app::kMaxFrameRate);
    HScroll1->setValue(app::kInitialFrameRate);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(3);
    HScroll1->setFocusPolicy(Qt::StrongFocus);  // in the tab order, as designed
    Label13 = makeControl<ClickLabel>(this, "Label13", {264, 136, 25, 17}, QStringLiteral("..."));
    Label13->setCursor(Qt::PointingHandCursor);
    // One row short of the design's 17, so that painting it never paints Text9 below.
    Label14 = makeControl<PacedLabel>(this, "Label14", {296, 136, 97, 16});
    Text9 = makeControl<PathBox>(this, "Text9", {264, 152, 153, 18}, FrameRecorder::defaultPath());
    Text9->setStyleSheet(QStringLiteral("background-color: rgb(224, 224, 224);"));
    Picture2 = makeControl<PictureBox>(this, "Picture2", {424, 16, 137, 73});
    Picture2->setBackColor(palette().color(QPalette::Base));
    Picture2->cls();
    Label4 = makeControl<QLabel>(this, "Label4", {424, 96, 97, 17}, tr("输出预览（点击）"));
    Image2 = makeControl<QLabel>(this, "Image2", {576, 24, 101, 58});
    Image2->setPixmap(makeLogo(QSize(101, 58)));
    const QRect lines[] = {
        {144, 16, 1, 161}, {344, 132, 80, 1}, {568, 16, 1, 73}, {424, 92, 250, 1}};
    const char* lineNames[] = {"Line1", "Line2", "Line3", "Line4"};
    for (int i = 0; i < 4; ++i) {
        auto* rule = makeControl<QFrame>(this, lineNames[i], lines[i]);
        rule->setFrameShape(lines[i].width() == 1 ? QFrame::VLine : QFrame::HLine);
        rule->setFrameShadow(QFrame::Sunken);
    }
    Notice = makeControl<NoticeLine>(this, "Notice", {152, 170, 528, 14});

    CmdCapScreen = button("CmdCapScreen", capScreenCaption(), {144, 224, 65, 25});
    CmdCapScreen->setToolTip(tr("直接捕获整个桌面！"));
    CmdCapRect = button("CmdCapRect", capRectCaption(), {144, 248, 65, 25});
    CmdCapRect->setToolTip(tr("请按左上到右下的方向选择屏幕区域！"));
    CmdCapActiveWindow = button("CmdCapActiveWindow", capActiveWindowCaption(), {144, 272, 65, 25});
    CmdCapActiveWindow->setToolTip(tr("请在2秒钟内选择好活动窗口！"));
    CmdClear = button("CmdClear", tr("清  除"), {144, 320, 65, 25});
    CmdSaveBmp = button("CmdSaveBmp", tr("保存图片"), {144, 344, 65, 25});
    Command4 = button("Command4", tr("输出至窗口"), {208, 224, 73, 25});
    Command6 = button("Command6", tr("输出一帧至文件"), {208, 248, 97, 25});
    Command7 = button("Command7", QStringLiteral("bit-byte"), {456, 248, 73, 25});
    Command5 = button("Command5", QStringLiteral("byte2ascii"), {544, 248, 81, 25});
    Text1 = box("Text1", QStringLiteral("Text1"), {352, 256, 89, 18});
    Text2 = box("Text2", QStringLiteral("Text2"), {352, 280, 89, 18});
    Text3 = box("Text3", QStringLiteral("Text3"), {256, 304, 89, 18});
    Text4 = box("Text4", QStringLiteral("Text4"), {256, 328, 89, 18});
    Text8 = makeControl<QPlainTextEdit>(this, "Text8", {96, 224, 33, 305}, QStringLiteral("Text8"));

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setTimerType(Qt::PreciseTimer);
}

void Form1::nameForScreenReaders() {
    // Buttons, check boxes and menu entries are named by their captions; the
    // boxes, the scroll bar and the pictures have none of their own.
    const std::pair<QWidget*, QString> names[] = {
        {Text1, tr("采集宽度")},    {Text2, tr("采集高度")},
        {Text3, tr("采集左边")},    {Text4, tr("采集上边")},
        {Text8, tr("第 0 页")},     {Text9, tr("帧文件")},
        {HScroll1, tr("帧率")},     {Image1, tr("缩略图")},
        {Picture2, tr("输出预览")}, {WindowsMediaPlayer1, tr("播放器")},
    };
    for (const auto& [control, name] : names) control->setAccessibleName(name);
}

void Form1::wire() {
    connect(Label2, &ClickLabel::clicked, this, &Form1::Label2_Click);
    connect(Check1, &QCheckBox::clicked, this, &Form1::Check1_Click);
    // The box follows the workbench however it left or came back (Alt+F4).
    connect(frmMain_.get(), &frmMain::onScreenChanged, Check1, &QCheckBox::setChecked);
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form1::HScroll1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Check2, &QCheckBox::toggled, this, &Form1::Check2_Click);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Picture2, &PictureBox::clicked, this, &Form1::Picture2_Click);
    connect(Label13, &ClickLabel::clicked, this, &Form1::Label13_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(WindowsMediaPlayer1, &PlayerPanel::problem, this,
            [this](const QString& why) { Notice->report(QStringLiteral("player"), why); });
    connect(WindowsMediaPlayer1, &PlayerPanel::loaded, this,
            [this] { Notice->withdraw(QStringLiteral("player")); });
    connect(CmdCapScreen, &QPushButton::clicked, sources_, &CaptureSources::CmdCapScreen_Click);
    connect(CmdCapActiveWindow, &QPushButton::clicked, sources_,
            &CaptureSources::CmdCapActiveWindow_Click);
    connect(CmdCapRect, &QPushButton::clicked, sources_, &CaptureSources::CmdCapRect_Click);
    connect(CmdClear, &QPushButton::clicked, sources_, &CaptureSources::CmdClear_Click);
    connect(CmdSaveBmp, &QPushButton::clicked, sources_, &CaptureSources::CmdSaveBmp_Click);
    connect(sources_, &CaptureSources::captured, Image1, &ImageView::setImage);
    connect(sources_, &CaptureSources::rectChosen, this,
            [this](const QString& width, const QString& height, const QString& left,
                   const QString& top) {
                Text1->setText(width);
                Text2->setText(height);
                Text3->setText(left);
                Text4->setText(top);
                runClock(true);
            });
    // The boxes show the rectangle and take a new one typed into them.
    for (QLineEdit* box : {Text1, Text2, Text3, Text4})
        connect(box, &QLineEdit::textChanged, this, &Form1::rectBoxesChanged);
    rectBoxesChanged();
    connect(menu_, &MainMenu::videoChosen, WindowsMediaPlayer1, &PlayerPanel::open);
}

void Form1::rectBoxesChanged() {
    Result<app::CaptureRectValues> read =
        app::readCaptureRect(Text1->text().toStdString(), Text2->text().toStdString(),
                             Text3->text().toStdString(), Text4->text().toStdString());
    rectError_ = read ? QString() : QString::fromStdString(read.error());
    session_->setRect(read ? std::optional(read.value()) : std::nullopt);
}

void Form1::Form_Load() {
    BorderPad = 0;  // borderless: the outer width is the client width
    sources_->setBorderPad(BorderPad);
    serial_->Label5_Click();  // the serial panel shows the port's settings and number
    HScroll1_Change();
    keepOnScreen(this);  // the design place, or as near as the screen allows
    frmMain_->show();
    keepOnScreen(frmMain_.get());  // with its frame
}

}  // namespace orv::ui
