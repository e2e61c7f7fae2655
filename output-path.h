#pragma once

#include <QtGlobal>

#include <string>

// Where screenshots and recordings go, and the checks made before either is
// written.
namespace output_path {

constexpr const char* kShotName = "/ZuCam_shot[%1].png";
constexpr const char* kRecordName = "/ZuCam_recoder[%1].mp4";

// The designed texts; the window shows them translated.
constexpr const char* kMsgNoPicture =
    QT_TRANSLATE_NOOP("output_path", "未接收到图像数据，截图失败！");
constexpr const char* kMsgNoDirectory =
    QT_TRANSLATE_NOOP("output_path", "输出目录不存在，请前往设置页面重新设置");
constexpr const char* kMsgNotWritable =
    QT_TRANSLATE_NOOP("output_path", "输出目录无法写入，请前往设置页面重新设置");
constexpr const char* kMsgShotFailed = QT_TRANSLATE_NOOP("output_path", "截图失败");
constexpr const char* kMsgRecordFailed = QT_TRANSLATE_NOOP("output_path", "无法开启录制！");
// A recording ended by a write error: %1 the cause, %2 the file that keeps
// what was recorded up to then.
constexpr const char* kMsgRecordWriteFailed =
    QT_TRANSLATE_NOOP("output_path", "录制已停止：文件无法继续写入（%1）。已录制的内容保存在 %2");

// The file path for `nameTemplate` (kShotName or kRecordName) in `saveDir`,
// %1 being the local time as "%Y%m%d%H%M%S". The directory gets a "/" unless
// it already ends with one, and the name brings its own, so the name always
// follows two separators.
std::string Compose(const std::string& saveDir, const char* nameTemplate);

// Checks that `saveDir` exists and that a file can be written beside `path`
// (path + ".txt" takes 4 bytes and is removed again). False with the message
// to show when either check fails.
bool Check(const std::string& saveDir, const std::string& path, std::string* failureMessage);

}  // namespace output_path
