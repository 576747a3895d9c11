#pragma once

#include <QIcon>
#include <QPixmap>

#include <cstdint>

// The program's pictures, compiled into it.
namespace CvResources {

// Registers the compiled resources (once; also for the tests).
void Init();
QIcon AppIcon();
QIcon KindIcon(int32_t kind);
QIcon WriteIcon();
QIcon WriteSendingIcon();
QPixmap CaptionMessage();
QPixmap CaptionError();

}  // namespace CvResources
