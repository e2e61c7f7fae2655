#pragma once

// Who ZuCam says it is: to the module host, in window titles and in every
// program's --version.
namespace app_identity {

constexpr char kAppName[] = "ZuCam";
constexpr char kVersion[] = "1.0.7";
constexpr char kBuildDate[] = "2023.07.13";
constexpr char kTitle[] = "Zu虚拟摄像头";

}  // namespace app_identity
