<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>orv::ui::CaptureModes</name>
    <message>
        <source>整个桌面</source>
        <translation>Desktop</translation>
    </message>
    <message>
        <source>桌面区域</source>
        <translation>Region</translation>
    </message>
    <message>
        <source>活动窗口</source>
        <translation>Window</translation>
    </message>
</context>
<context>
    <name>orv::ui::CaptureServices</name>
    <message>
        <source>%1: the screen cannot be read (%2), so nothing is captured; "开始采集" still records the player's video</source>
        <translation>%1: the screen cannot be read (%2), so nothing is captured; "Capture" still records the player's video</translation>
    </message>
</context>
<context>
    <name>orv::ui::CaptureSources</name>
    <message>
        <source>保存图片</source>
        <translation>Save picture</translation>
    </message>
    <message>
        <source>文件覆盖</source>
        <translation>Overwrite file</translation>
    </message>
    <message>
        <source>该文件已经存在，是否要覆盖？</source>
        <translation>The file already exists. Overwrite it?</translation>
    </message>
</context>
<context>
    <name>orv::ui::Dialog</name>
    <message>
        <source>选择路径</source>
        <translation>Choose path</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>驱动器</source>
        <translation>Drive</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>Folder</translation>
    </message>
</context>
<context>
    <name>orv::ui::Form1</name>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>缩略图会在视觉上失真，但不影响真实保存的图形内容！</source>
        <translation>The thumbnail may look distorted, but the picture content actually saved is not affected!</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>开始采集</source>
        <translation>Capture</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>DIB窗口</source>
        <translation>DIB</translation>
    </message>
    <message>
        <source>录制</source>
        <translation>Rec</translation>
    </message>
    <message>
        <source>输出预览（点击）</source>
        <translation>Preview (click)</translation>
    </message>
    <message>
        <source>直接捕获整个桌面！</source>
        <translation>Capture the whole desktop directly!</translation>
    </message>
    <message>
        <source>请按左上到右下的方向选择屏幕区域！</source>
        <translation>Select the screen region from top-left to bottom-right!</translation>
    </message>
    <message>
        <source>请在2秒钟内选择好活动窗口！</source>
        <translation>Choose the active window within 2 seconds!</translation>
    </message>
    <message>
        <source>清  除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>保存图片</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>输出至窗口</source>
        <translation>To window</translation>
    </message>
    <message>
        <source>输出一帧至文件</source>
        <translation>Frame to file</translation>
    </message>
    <message>
        <source>采集宽度</source>
        <translation>Capture width</translation>
    </message>
    <message>
        <source>采集高度</source>
        <translation>Capture height</translation>
    </message>
    <message>
        <source>采集左边</source>
        <translation>Capture left</translation>
    </message>
    <message>
        <source>采集上边</source>
        <translation>Capture top</translation>
    </message>
    <message>
        <source>第 0 页</source>
        <translation>Page 0</translation>
    </message>
    <message>
        <source>帧文件</source>
        <translation>Frame file</translation>
    </message>
    <message>
        <source>帧率</source>
        <translation>Frame rate</translation>
    </message>
    <message>
        <source>缩略图</source>
        <translation>Thumbnail</translation>
    </message>
    <message>
        <source>输出预览</source>
        <translation>Output preview</translation>
    </message>
    <message>
        <source>播放器</source>
        <translation>Player</translation>
    </message>
    <message>
        <source>帧率：%1</source>
        <translation>Frame rate: %1</translation>
    </message>
</context>
<context>
    <name>orv::ui::MainMenu</name>
    <message>
        <source>发送行 (TXD)</source>
        <translation>Transmit line (TXD)</translation>
    </message>
    <message>
        <source>打开视频…</source>
        <translation>Open video…</translation>
    </message>
    <message>
        <source>从视频直接采集</source>
        <translation>Capture from the video</translation>
    </message>
    <message>
        <source>右键单击背景打开菜单：窗口下方的捕获、保存和输出功能，以及打开视频</source>
        <translation>Right-click the background for a menu: the capture, save and output functions below the window, and opening a video</translation>
    </message>
    <message>
        <source>打开视频</source>
        <translation>Open video</translation>
    </message>
    <message>
        <source>视频 (*.avi *.mp4 *.mkv *.mov *.webm *.mpg *.mpeg *.wmv *.flv *.m4v *.gif);;所有文件 (*)</source>
        <translation>Videos (*.avi *.mp4 *.mkv *.mov *.webm *.mpg *.mpeg *.wmv *.flv *.m4v *.gif);;All files (*)</translation>
    </message>
</context>
<context>
    <name>orv::ui::PlayerPanel</name>
    <message>
        <source>播放/暂停</source>
        <translation>Play/pause</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Position</translation>
    </message>
</context>
<context>
    <name>orv::ui::SerialPanel</name>
    <message>
        <source>等待设备…</source>
        <translation>waiting for the device…</translation>
    </message>
    <message>
        <source>开/关</source>
        <translation>On/Off</translation>
    </message>
    <message>
        <source>端口号：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>端口号: </source>
        <translation>Port number: </translation>
    </message>
    <message>
        <source>实时发送</source>
        <translation>Send live</translation>
    </message>
    <message>
        <source>实时发送的显示屏：决定置位的比特是暗点还是亮点</source>
        <translation>The display of the live stream: whether a set bit is a dark or a lit pixel</translation>
    </message>
    <message>
        <source>端口号</source>
        <translation>port number</translation>
    </message>
    <message>
        <source>实时发送：</source>
        <translation>Live stream: </translation>
    </message>
    <message>
        <source>实时发送：设备显示 %1 x %2 的帧，而本工具的帧是 128 x 64</source>
        <translation>Live stream: the device shows %1 x %2 frames, the tool's are 128 x 64</translation>
    </message>
    <message>
        <source>实时发送：跳过 %1 帧（端口或设备跟不上）</source>
        <translation>Live stream: %1 frames skipped (the port or the device cannot keep up)</translation>
    </message>
    <message>
        <source>端口设置</source>
        <translation>Port settings</translation>
    </message>
    <message>
        <source>发送行</source>
        <translation>Transmit line</translation>
    </message>
    <message>
        <source>显示屏</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>端口号</source>
        <comment>the box's name</comment>
        <translation>Port number</translation>
    </message>
</context>
<context>
    <name>orv::ui::frmMain</name>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>缩放</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>锐化</source>
        <translation>Sharpen</translation>
    </message>
    <message>
        <source>雕刻</source>
        <translation>Engrave</translation>
    </message>
    <message>
        <source>直方图</source>
        <translation>Histogram</translation>
    </message>
    <message>
        <source>亮度对比度</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>获取数据</source>
        <translation>Get data</translation>
    </message>
    <message>
        <source>绘制图像</source>
        <translation>Draw</translation>
    </message>
    <message>
        <source>右键单击背景打开菜单：窗口下方的各项图像操作</source>
        <translation>Right-click the background for a menu: the image operations below the window</translation>
    </message>
    <message>
        <source>源图像</source>
        <translation>Source picture</translation>
    </message>
    <message>
        <source>结果图像</source>
        <translation>Result picture</translation>
    </message>
    <message>
        <source>锐化强度</source>
        <translation>Sharpen strength</translation>
    </message>
    <message>
        <source>雕刻参数</source>
        <translation>Engrave parameter</translation>
    </message>
    <message>
        <source>红</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>绿</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>蓝</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>横向缩放</source>
        <translation>Zoom across</translation>
    </message>
    <message>
        <source>纵向缩放</source>
        <translation>Zoom down</translation>
    </message>
</context>
</TS>