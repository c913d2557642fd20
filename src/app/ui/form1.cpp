#include "app/ui/form1.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <cstdlib>

#include "app/capture_clock.h"
#include "serial/platform/qt_serial_port.h"

namespace orv::ui {
namespace {

// A generated logo: the tool's name over an LCD-like strip.
QPixmap makeLogo(QSize size) {
    QPixmap logo(size);
    logo.fill(QColor(156, 190, 48));
    QPainter p(&logo);
    p.setPen(QColor(24, 32, 8));
    QFont f = p.font();
    f.setPixelSize(16);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 6, size.width(), 22), Qt::AlignCenter, QStringLiteral("ORV"));
    f.setPixelSize(10);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 28, size.width(), 14), Qt::AlignCenter, QStringLiteral("128 x 64 LCD"));
    for (int x = 4; x < size.width() - 4; x += 4) p.drawPoint(x, size.height() - 8);
    return logo;
}

}  // namespace

Form1::Form1(ImageState& state, std::unique_ptr<platform::ScreenGrabber> grabber,
             std::unique_ptr<serial::SerialPort> port, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::Tool),
      state_(state),
      grabber_(std::move(grabber)),
      port_(port ? std::move(port) : std::make_unique<serial::QtSerialPort>()),
      inspector_(std::make_unique<platform::DesktopWindowInspector>()) {
    exitProcess = [] { std::_Exit(0); };
    port_->onLost = [this](const std::string& why) { portLost(QString::fromStdString(why)); };
    setWindowTitle(QStringLiteral("Marlune"));
    setGeometry(kLeft, kTop, kWidth, kHeight);
    setFixedSize(kWidth, kHeight);
    buildControls();
    wire();
    Form_Load();
}

Form1::~Form1() = default;

void Form1::buildControls() {
    auto button = [this](const QString& caption, int x, int y, int w, int h) {
        auto* b = new QPushButton(caption, this);
        b->setGeometry(x, y, w, h);
        return b;
    };
    auto box = [this](const QString& initial, int x, int y, int w, int h) {
        auto* e = new QLineEdit(initial, this);
        e->setGeometry(x, y, w, h);
        return e;
    };

    Label1 = new QLabel(QStringLiteral("ORV Tool 12864"), this);
    Label1->setGeometry(8, 0, 108, 12);
    QFont small = Label1->font();
    small.setPixelSize(10);
    Label1->setFont(small);
    Label2 = new ClickLabel(QStringLiteral("退出"), this);
    Label2->setGeometry(640, 0, 41, 17);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setAutoFillBackground(true);
    Label2->setStyleSheet(QStringLiteral("background-color: rgb(192, 192, 192);"));
    WindowsMediaPlayer1 = new PlayerPanel(this);
    WindowsMediaPlayer1->setGeometry(8, 16, 129, 161);
    Image1 = new ImageView(this);
    Image1->setGeometry(152, 16, 193, 113);
    Image1->setToolTip(QStringLiteral("缩略图会在视觉上失真，但不影响真实保存的图形内容！"));
    Command1 = button(QStringLiteral("播放"), 352, 16, 65, 25);
    Command2 = button(QStringLiteral("开始采集"), 352, 40, 65, 25);
    Command3 = button(QStringLiteral("停止"), 352, 64, 65, 25);
    Check1 = new QCheckBox(QStringLiteral("DIB窗口"), this);
    Check1->setGeometry(352, 96, 65, 17);
    Check1->setChecked(true);
    Check2 = new QCheckBox(QStringLiteral("录制"), this);
    Check2->setGeometry(352, 112, 57, 17);
    Shape2 = new Lamp(this);
    Shape2->setGeometry(408, 144, 9, 9);
    Label3 = new QLabel(this);
    Label3->setGeometry(152, 136, 97, 17);
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setGeometry(152, 152, 105, 17);
    HScroll1->setRange(app::kMinFrameRate, app::kMaxFrameRate);
    HScroll1->setValue(app::kInitialFrameRate);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(3);
    Label13 = new ClickLabel(QStringLiteral("..."), this);
    Label13->setGeometry(264, 136, 25, 17);
    Label13->setCursor(Qt::PointingHandCursor);
    Label14 = new QLabel(this);
    Label14->setGeometry(296, 136, 97, 17);
    Text9 = box(defaultFramePath(), 264, 152, 153, 18);
    Text9->setStyleSheet(QStringLiteral("background-color: rgb(224, 224, 224);"));
    Picture2 = new PictureBox(this);
    Picture2->setGeometry(424, 16, 137, 73);
    Picture2->setBackColor(palette().color(QPalette::Base));
    Picture2->cls();
    Label4 = new QLabel(QStringLiteral("输出预览（点击）"), this);
    Label4->setGeometry(424, 96, 97, 17);
    Image2 = new QLabel(this);
    Image2->setGeometry(576, 24, 101, 58);
    Image2->setPixmap(makeLogo(QSize(101, 58)));
    for (QRect line : {QRect(144, 16, 1, 161), QRect(344, 132, 80, 1), QRect(568, 16, 1, 73),
                       QRect(424, 92, 250, 1)}) {  // Line1 .. Line4
        auto* rule = new QFrame(this);
        rule->setGeometry(line);
        rule->setFrameShape(line.width() == 1 ? QFrame::VLine : QFrame::HLine);
        rule->setFrameShadow(QFrame::Sunken);
    }
    buildSerialPanel();
    Notice = new NoticeLine(this);
    Notice->setGeometry(152, 170, 528, 14);

    CmdCapScreen = button(QStringLiteral("整个桌面"), 144, 224, 65, 25);
    CmdCapScreen->setToolTip(QStringLiteral("直接捕获整个桌面！"));
    CmdCapRect = button(QStringLiteral("桌面区域"), 144, 248, 65, 25);
    CmdCapRect->setToolTip(QStringLiteral("请按左上到右下的方向选择屏幕区域！"));
    CmdCapActiveWindow = button(QStringLiteral("活动窗口"), 144, 272, 65, 25);
    CmdCapActiveWindow->setToolTip(QStringLiteral("请在2秒钟内选择好活动窗口！"));
    CmdClear = button(QStringLiteral("清  除"), 144, 320, 65, 25);
    CmdSaveBmp = button(QStringLiteral("保存图片"), 144, 344, 65, 25);
    Command4 = button(QStringLiteral("输出至窗口"), 208, 224, 73, 25);
    Command6 = button(QStringLiteral("输出一帧至文件"), 208, 248, 97, 25);
    Command7 = button(QStringLiteral("bit-byte"), 456, 248, 73, 25);
    Command5 = button(QStringLiteral("byte2ascii"), 544, 248, 81, 25);
    Text1 = box(QStringLiteral("Text1"), 352, 256, 89, 18);
    Text2 = box(QStringLiteral("Text2"), 352, 280, 89, 18);
    Text3 = box(QStringLiteral("Text3"), 256, 304, 89, 18);
    Text4 = box(QStringLiteral("Text4"), 256, 328, 89, 18);
    Text7 = box(QStringLiteral("Text7"), 256, 352, 313, 18);
    Label12 = new QLabel(QStringLiteral("TXD"), this);
    Label12->setGeometry(232, 352, 57, 25);
    Text8 = new QPlainTextEdit(QStringLiteral("Text8"), this);
    Text8->setGeometry(96, 224, 33, 305);
    Picture1 = new PictureBox(this);
    Picture1->setGeometry(536, 376, 233, 113);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setTimerType(Qt::PreciseTimer);
    Timer3 = new QTimer(this);
    Timer3->setInterval(86);

    frmMain_ = std::make_unique<frmMain>(state_);
    frmMain_->move(kLeft, kTop + kHeight + 180);
}

void Form1::wire() {
    connect(Label2, &ClickLabel::clicked, this, &Form1::Label2_Click);
    connect(Check1, &QCheckBox::clicked, this, &Form1::Check1_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &Form1::HScroll1_Change);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Check2, &QCheckBox::clicked, this, &Form1::Check2_Click);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Picture2, &PictureBox::clicked, this, &Form1::Picture2_Click);
    connect(Label13, &ClickLabel::clicked, this, &Form1::Label13_Click);
    connect(CmdCapScreen, &QPushButton::clicked, this, &Form1::CmdCapScreen_Click);
    connect(CmdCapActiveWindow, &QPushButton::clicked, this, &Form1::CmdCapActiveWindow_Click);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(CmdCapRect, &QPushButton::clicked, this, &Form1::CmdCapRect_Click);
    connect(CmdClear, &QPushButton::clicked, this, &Form1::CmdClear_Click);
    connect(CmdSaveBmp, &QPushButton::clicked, this, &Form1::CmdSaveBmp_Click);
    connect(Label5, &ClickLabel::clicked, this, &Form1::Label5_Click);
    connect(Label6, &ClickLabel::clicked, this, &Form1::Label6_Click);
    connect(Label8, &ClickLabel::clicked, this, &Form1::Label8_Click);
    connect(Text7, &QLineEdit::textChanged, this, &Form1::Text7_Change);
    connect(Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
}

void Form1::Form_Load() {
    BorderPad = 0;   // borderless: the outer width is the client width
    Label5_Click();  // the serial panel shows the port's settings and number
    HScroll1_Change();
    frmMain_->show();
}

QString Form1::defaultFramePath() {
#ifdef Q_OS_WIN
    if (QFileInfo(QStringLiteral("D:/")).isDir()) return QStringLiteral("D:\\mov1.orv");
#endif
    return QDir::toNativeSeparators(QDir::current().absoluteFilePath(QStringLiteral("mov1.orv")));
}

void Form1::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
    }
}

void Form1::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

}  // namespace orv::ui
