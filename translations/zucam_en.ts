<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CameraOutputProcess</name>
    <message>
        <source>其它软件看不到“ZuCam”摄像头：这台电脑既没有 v4l2loopback 设备，也没有 PipeWire。请加载 v4l2loopback：
    sudo apt install v4l2loopback-dkms
    sudo modprobe v4l2loopback exclusive_caps=1 card_label=ZuCam
或安装 PipeWire（pipewire、wireplumber 和 pipewire-pulse）后重新登录；下一部手机连接时会再次尝试</source>
        <translation>other programs see no camera &quot;ZuCam&quot;: this computer has neither a v4l2loopback device nor PipeWire. Either load v4l2loopback:
    sudo apt install v4l2loopback-dkms
    sudo modprobe v4l2loopback exclusive_caps=1 card_label=ZuCam
or install PipeWire (pipewire, wireplumber and pipewire-pulse) and log in again; the camera is tried again when the next phone connects</translation>
    </message>
    <message>
        <source>其它软件看不到“ZuCam”摄像头：程序旁没有 zucam-camera，或它无法启动；请重新安装 ZuCam</source>
        <translation>other programs see no camera &quot;ZuCam&quot;: zucam-camera is missing beside the program or cannot be started; reinstall ZuCam</translation>
    </message>
    <message>
        <source>其它软件看不到“ZuCam”摄像头：zucam-camera 以代码 %1 结束（原因见日志）；下一部手机连接时会再次尝试</source>
        <translation>other programs see no camera &quot;ZuCam&quot;: zucam-camera ended with code %1 (the log says why); it is tried again when the next phone connects</translation>
    </message>
</context>
<context>
    <name>AboutUsDialog</name>
    <message>
        <source>关于我们</source>
        <translation>About Us</translation>
    </message>
    <message>
        <source>Zu虚拟摄像头</source>
        <translation>ZuCam Virtual Camera</translation>
    </message>
    <message>
        <source>Zu虚拟摄像头——手机秒变高清电脑摄像头，
WIFI无线连接，即开即连。支持超低延迟，高清
画面，语音传输，兼容主流录屏直播软件。</source>
        <translation>ZuCam turns your phone into an HD camera for this
computer over Wi-Fi, ready at once. Low latency,
HD picture and sound; works with streaming apps.</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;qrc:/help/help.html&quot; style=&quot;color:#95b4ee;&quot;&gt;更多产品&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;qrc:/help/help.html&quot; style=&quot;color:#95b4ee;&quot;&gt;More products&lt;/a&gt;</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;qrc:/help/help.html&quot; style=&quot;color:#95b4ee;&quot;&gt;用户协议&lt;/a&gt;&amp;nbsp;&amp;nbsp;|&amp;nbsp;&amp;nbsp;&lt;a href=&quot;qrc:/help/help.html&quot; style=&quot;color:#95b4ee;&quot;&gt;隐私政策&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;qrc:/help/help.html&quot; style=&quot;color:#95b4ee;&quot;&gt;User Agreement&lt;/a&gt;&amp;nbsp;&amp;nbsp;|&amp;nbsp;&amp;nbsp;&lt;a href=&quot;qrc:/help/help.html&quot; style=&quot;color:#95b4ee;&quot;&gt;Privacy Policy&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Copyright © ZuCam. All Rights Reserved.</source>
        <translation>Copyright © ZuCam. All Rights Reserved.</translation>
    </message>
</context>
<context>
    <name>CustomTipsDialog</name>
    <message>
        <source>- - -</source>
        <translation>- - -</translation>
    </message>
</context>
<context>
    <name>GuidWidget</name>
    <message>
        <source>不知道怎么用，看这里哦！</source>
        <translation>Need help? Look here!</translation>
    </message>
    <message>
        <source>关闭提示</source>
        <translation>Close tip</translation>
    </message>
</context>
<context>
    <name>HelpDialog</name>
    <message>
        <source>使用帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>无线连接</source>
        <translation>Wi-Fi</translation>
    </message>
    <message>
        <source>USB连接</source>
        <translation>USB</translation>
    </message>
    <message>
        <source>1. 请下载移动端虚拟摄像头APP，或&lt;a href=&quot;qrc:/help/help.html&quot; style=&quot;color:#4C9DFF; text-decoration:underline;&quot;&gt;移步官网下载&lt;/a&gt;</source>
        <translation>1. Install the camera app on your phone, or &lt;a href=&quot;qrc:/help/help.html&quot; style=&quot;color:#4C9DFF; text-decoration:underline;&quot;&gt;get it from our website&lt;/a&gt;</translation>
    </message>
    <message>
        <source>安卓下载</source>
        <translation>Android</translation>
    </message>
    <message>
        <source>ios下载</source>
        <translation>iOS</translation>
    </message>
    <message>
        <source>2. 请确保手机和电脑处在同一个wifi下。</source>
        <translation>2. Make sure the phone and this computer are on the same Wi-Fi.</translation>
    </message>
    <message>
        <source>3. 打开移动端虚拟摄像头app和电脑端Zu虚拟摄像头
软件，在手机端点击搜索到的电脑设备，一键连接。</source>
        <translation>3. Open the phone app and ZuCam on this computer,
then tap this computer in the app to connect.</translation>
    </message>
    <message>
        <source>2. 电脑端和移动端虚拟摄像头切换到USB连接模式。</source>
        <translation>2. Switch both ZuCam and the phone app to USB mode.</translation>
    </message>
    <message>
        <source>3. 手机开启USB调试模式并连接USB线到电脑。</source>
        <translation>3. Turn on USB debugging and plug the phone in by USB.</translation>
    </message>
    <message>
        <source>4. 手机端点检测到的电脑设备连接即可。</source>
        <translation>4. Tap this computer in the phone app to connect.</translation>
    </message>
    <message>
        <source>请在手机应用商店中下载</source>
        <translation>Get it from your app store</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;%1&quot; style=&quot;color:#4C9DFF;&quot;&gt;前往官网下载&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;%1&quot; style=&quot;color:#4C9DFF;&quot;&gt;Download from our website&lt;/a&gt;</translation>
    </message>
</context>
<context>
    <name>HelpInfoDialog</name>
    <message>
        <source>如何在其他软件中使用ZuCam摄像头</source>
        <translation>Using the ZuCam camera in other programs</translation>
    </message>
</context>
<context>
    <name>MainForm</name>
    <message>
        <source>没有应用？使用手机浏览器</source>
        <translation>No app? Use the phone&apos;s browser</translation>
    </message>
    <message>
        <source>无线连接</source>
        <translation>Wi-Fi</translation>
    </message>
    <message>
        <source>USB连接</source>
        <translation>USB</translation>
    </message>
    <message>
        <source>正在等待连接</source>
        <translation>Waiting for a connection</translation>
    </message>
    <message>
        <source>---.---.---.---</source>
        <translation>---.---.---.---</translation>
    </message>
    <message>
        <source>请确保您的安卓手机已开启USB调试模式
并连接USB线到电脑</source>
        <translation>Make sure USB debugging is on in your Android phone
and the phone is plugged into this computer by USB</translation>
    </message>
    <message>
        <source>注意：USB连接时电脑请保持在本页面
手机端请在设置中切换到USB连接方式</source>
        <translation>Note: keep this page open while connecting by USB,
and switch the phone app to USB in its settings</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;Open Help&quot;&gt;&lt;span style=&quot;color:#6BA7FF;text-decoration:none;&quot;&gt;手机如何开启USB调试模式？&lt;/span&gt;&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;Open Help&quot;&gt;&lt;span style=&quot;color:#6BA7FF;text-decoration:none;&quot;&gt;How do I turn on USB debugging?&lt;/span&gt;&lt;/a&gt;</translation>
    </message>
    <message>
        <source>连接成功
设备名</source>
        <translation>Connected
Device name</translation>
    </message>
    <message>
        <source>连接成功
%1</source>
        <translation>Connected
%1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>手机浏览器页面未开启：端口%1被占用或已在设置中关闭</source>
        <translation>The phone page is not running: port %1 is taken or turned off in the settings</translation>
    </message>
    <message>
        <source>Zu虚拟摄像头</source>
        <translation>ZuCam Virtual Camera</translation>
    </message>
    <message>
        <source>Zu虚拟摄像头
状态：未连接</source>
        <translation>ZuCam Virtual Camera
Status: not connected</translation>
    </message>
    <message>
        <source>Zu虚拟摄像头
状态：已连接</source>
        <translation>ZuCam Virtual Camera
Status: connected</translation>
    </message>
    <message>
        <source>ip地址已复制到剪切板</source>
        <translation>IP address copied to the clipboard</translation>
    </message>
    <message>
        <source>手机发送的画面格式无法显示，请在手机上改用普通（8位 4:2:0）画质</source>
        <translation>The phone sends a picture format ZuCam cannot show. Set the phone to ordinary (8-bit 4:2:0) video.</translation>
    </message>
    <message>
        <source>检测到电脑处于节能模式，可能会影响画面流畅度，建议调整为平衡模式或高性能模式</source>
        <translation>This computer is in power saving mode, which may make the video stutter. Switch to the balanced or performance power mode.</translation>
    </message>
    <message>
        <source>您是否确定要关闭软件？</source>
        <translation>Do you really want to quit ZuCam?</translation>
    </message>
    <message>
        <source>无法启动媒体传输服务，由于%1端口被占用</source>
        <translation>Cannot start the media service: port %1 is in use</translation>
    </message>
    <message>
        <source>无法启动USB传输服务，由于%1端口被占用</source>
        <translation>Cannot start the USB service: port %1 is in use</translation>
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
        <source>其它软件如何使用Zu虚拟摄像头？</source>
        <translation>How do other programs use ZuCam?</translation>
    </message>
    <message>
        <source>其它软件现在可以使用“ZuCam”摄像头了</source>
        <translation>Other programs can now use the camera &quot;ZuCam&quot;</translation>
    </message>
</context>
<context>
    <name>MediaServer</name>
    <message>
        <source>解码失败</source>
        <translation>The video could not be decoded</translation>
    </message>
    <message>
        <source>解码器初始化失败</source>
        <translation>The video decoder could not be started</translation>
    </message>
</context>
<context>
    <name>MenuStateForm</name>
    <message>
        <source>00:00:00</source>
        <translation>00:00:00</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>更多设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>使用帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于我们</source>
        <translation>About</translation>
    </message>
    <message>
        <source>截屏</source>
        <translation>Screenshot</translation>
    </message>
    <message>
        <source>录屏</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>已连接%1</source>
        <translation>Connected to %1</translation>
    </message>
    <message>
        <source>截屏成功，可在
设置中打开目录查看</source>
        <translation>Screenshot saved; open
its folder in Settings</translation>
    </message>
</context>
<context>
    <name>MessageBoxDialog</name>
    <message>
        <source>确认</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>OpenUSBHelpDialog</name>
    <message>
        <source>如何开启USB调试模式</source>
        <translation>How to turn on USB debugging</translation>
    </message>
    <message>
        <source>(以华为p20为例，根据不同机型，操作和名称会略有不同）</source>
        <translation>(Huawei P20 as the example; steps and names vary by model)</translation>
    </message>
    <message>
        <source>1. 打开手机“设置” - “系统和更新” - “开发人员选项”，打开“USB调试”。</source>
        <translation>1. On the phone, open &quot;Settings&quot; - &quot;System &amp; updates&quot; - &quot;Developer options&quot; and turn on &quot;USB debugging&quot;.</translation>
    </message>
    <message>
        <source>2. 没有“开发人员选项”时，进入“设置” - “关于手机”，连续点击“版本号”5次，再回到第1步。</source>
        <translation>2. No &quot;Developer options&quot;? Open &quot;Settings&quot; - &quot;About phone&quot;, tap &quot;Build number&quot; 5 times, then go back to step 1.</translation>
    </message>
</context>
<context>
    <name>SettingDialog</name>
    <message>
        <source>更多设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>截屏后马上打开目录</source>
        <translation>Open the folder after a screenshot</translation>
    </message>
    <message>
        <source>窗口置顶</source>
        <translation>Keep the window on top</translation>
    </message>
    <message>
        <source>虚拟麦克风：</source>
        <translation>Microphone:</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>On</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>注:打开后,录屏软件即可录制手机麦克风声音</source>
        <translation>Note: when on, other programs can record the phone&apos;s microphone</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;qrc:/help/help.html#no-voice&quot; style=&quot;color:#DF7D43;&quot;&gt;连接后听不到麦克风声音？&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;qrc:/help/help.html#no-voice&quot; style=&quot;color:#DF7D43;&quot;&gt;No microphone sound after connecting?&lt;/a&gt;</translation>
    </message>
    <message>
        <source>渲染模式：</source>
        <translation>Rendering:</translation>
    </message>
    <message>
        <source>硬件渲染</source>
        <translation>Hardware</translation>
    </message>
    <message>
        <source>软件渲染</source>
        <translation>Software</translation>
    </message>
    <message>
        <source>修改后重新连接生效</source>
        <translation>Applies from the next connection</translation>
    </message>
    <message>
        <source>修改后重新连接生效；从软件渲染改为 OpenGL 渲染在软件下次启动时生效</source>
        <translation>Applies from the next connection; a change from software to OpenGL rendering applies from the next start of ZuCam</translation>
    </message>
    <message>
        <source>设备名：</source>
        <translation>Device name:</translation>
    </message>
    <message>
        <source>本机在其他设备上显示的名称，修改后重启软件生效</source>
        <translation>The name other devices see; applies after a restart</translation>
    </message>
    <message>
        <source>网页端口：</source>
        <translation>Phone page port:</translation>
    </message>
    <message>
        <source>手机浏览器打开本机网页当摄像头时使用的端口，0 为关闭，修改后立即生效</source>
        <translation>The port a phone&apos;s browser opens the camera page on; 0 turns the page off; applies at once</translation>
    </message>
    <message>
        <source>保存目录：</source>
        <translation>Save folder:</translation>
    </message>
    <message>
        <source>升级到最新版本</source>
        <translation>Check for updates</translation>
    </message>
    <message>
        <source>当前选择路径无写入权限！</source>
        <translation>The chosen folder cannot be written to!</translation>
    </message>
    <message>
        <source>无法打开保存目录：%1</source>
        <translation>Cannot open the save folder: %1</translation>
    </message>
    <message>
        <source>当前版本：%1
暂时无法检查新版本。</source>
        <translation>Current version: %1
New versions cannot be checked for now.</translation>
    </message>
    <message>
        <source>选择保存文件目录</source>
        <translation>Choose the save folder</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>SystemTray</name>
    <message>
        <source>Zu虚拟摄像头
状态：未连接</source>
        <translation>ZuCam Virtual Camera
Status: not connected</translation>
    </message>
    <message>
        <source>显示窗口</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
</context>
<context>
    <name>USBServer</name>
    <message>
        <source>解码失败</source>
        <translation>The video could not be decoded</translation>
    </message>
    <message>
        <source>解码器初始化失败</source>
        <translation>The video decoder could not be started</translation>
    </message>
</context>
<context>
    <name>Uninstall</name>
    <message>
        <source>由于以下软件占用驱动文件，软件将不能完全卸载</source>
        <translation>These programs are using ZuCam&apos;s camera files, so ZuCam cannot be removed completely:</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
</context>
<context>
    <name>UsbHelpFilm</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>蓝牙</source>
        <translation>Bluetooth</translation>
    </message>
    <message>
        <source>显示和亮度</source>
        <translation>Display &amp; brightness</translation>
    </message>
    <message>
        <source>系统和更新</source>
        <translation>System &amp; updates</translation>
    </message>
    <message>
        <source>关于手机</source>
        <translation>About phone</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>处理器</source>
        <translation>Processor</translation>
    </message>
    <message>
        <source>版本号</source>
        <translation>Build number</translation>
    </message>
    <message>
        <source>软件更新</source>
        <translation>Software update</translation>
    </message>
    <message>
        <source>日期和时间</source>
        <translation>Date &amp; time</translation>
    </message>
    <message>
        <source>开发人员选项</source>
        <translation>Developer options</translation>
    </message>
    <message>
        <source>重置</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>USB调试</source>
        <translation>USB debugging</translation>
    </message>
    <message>
        <source>选择调试应用</source>
        <translation>Select debug app</translation>
    </message>
    <message>
        <source>再点击%1次进入开发者模式</source>
        <translation>%1 more taps to developer mode</translation>
    </message>
    <message>
        <source>您已处于开发者模式</source>
        <translation>You are now a developer</translation>
    </message>
    <message>
        <source>USB调试已开启</source>
        <translation>USB debugging is on</translation>
    </message>
</context>
<context>
    <name>ZuCam</name>
    <message>
        <source>未安装虚拟麦克风驱动，需要先安装驱动才可使用，是否安装？
安装后可能需要重启电脑才能正常使用。</source>
        <translation>The virtual microphone driver is not installed yet. Install it now?
The computer may need a restart before the microphone works.</translation>
    </message>
    <message>
        <source>虚拟麦克风驱动安装失败</source>
        <translation>The virtual microphone driver could not be installed</translation>
    </message>
    <message>
        <source>无法打开虚拟麦克风设备！</source>
        <translation>Cannot open the virtual microphone!</translation>
    </message>
    <message>
        <source>没有 PulseAudio 或 PipeWire 声音服务应答（pactl 无法加载虚拟麦克风）。
请安装并启动 PulseAudio，或 PipeWire 和 pipewire-pulse，然后重新打开虚拟麦克风。</source>
        <translation>No PulseAudio or PipeWire sound server answered (pactl could not load the virtual microphone).
Install and start PulseAudio, or PipeWire with pipewire-pulse, then switch the virtual microphone on again.</translation>
    </message>
    <message>
        <source>声音服务没有读取虚拟麦克风（ZuAudioDevice）。
请确认 PulseAudio 或 PipeWire（pipewire-pulse）正在运行，然后在设置中重新打开虚拟麦克风。</source>
        <translation>The sound server does not read the virtual microphone (ZuAudioDevice).
Make sure PulseAudio or PipeWire (pipewire-pulse) is running, then switch the virtual microphone on again in Settings.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>output_path</name>
    <message>
        <source>未接收到图像数据，截图失败！</source>
        <translation>No picture has arrived yet; the screenshot failed!</translation>
    </message>
    <message>
        <source>输出目录不存在，请前往设置页面重新设置</source>
        <translation>The save folder does not exist. Please choose it again in Settings.</translation>
    </message>
    <message>
        <source>输出目录无法写入，请前往设置页面重新设置</source>
        <translation>The save folder cannot be written to. Please choose it again in Settings.</translation>
    </message>
    <message>
        <source>截图失败</source>
        <translation>Screenshot failed</translation>
    </message>
    <message>
        <source>无法开启录制！</source>
        <translation>Cannot start recording!</translation>
    </message>
    <message>
        <source>录制已停止：文件无法继续写入（%1）。已录制的内容保存在 %2</source>
        <translation>Recording stopped: the file could not be written any more (%1). What was recorded is kept in %2</translation>
    </message>
</context>
<context>
    <name>WebPhoneDialog</name>
    <message>
        <source>使用手机浏览器</source>
        <translation>Use the phone&apos;s browser</translation>
    </message>
    <message>
        <source>用手机扫描二维码，或在手机浏览器中打开下面的链接。首次打开时请接受证书提示。</source>
        <translation>Scan the QR code with the phone, or open one of the links below in the phone&apos;s browser. Accept the certificate warning the first time.</translation>
    </message>
    <message>
        <source>USB 数据线：先运行 adb reverse tcp:%1 tcp:%1，再打开最后一个链接。</source>
        <translation>USB cable: run adb reverse tcp:%1 tcp:%1 first, then open the last link.</translation>
    </message>
    <message>
        <source>新链接</source>
        <translation>New link</translation>
    </message>
    <message>
        <source>生成新的链接，旧链接立即失效</source>
        <translation>Make a new link; the old one stops working at once</translation>
    </message>
</context>
</TS>
