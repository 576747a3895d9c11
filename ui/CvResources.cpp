#include "ui/CvResources.h"

static void InitCorvaneResources() {
    Q_INIT_RESOURCE(corvane);
}

namespace CvResources {

void Init() {
    static const bool done = [] {
        InitCorvaneResources();
        return true;
    }();
    (void)done;
}

QIcon AppIcon() {
    Init();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/corvane/app-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QIcon KindIcon(int32_t kind) {
    Init();
    switch (kind) {
        case 2:
            return QIcon(QStringLiteral(":/corvane/kind-workgroup.png"));
        case 3:
            return QIcon(QStringLiteral(":/corvane/kind-group.png"));
        default:
            return QIcon(QStringLiteral(":/corvane/kind-user.png"));
    }
}

QIcon WriteIcon() {
    Init();
    QIcon icon(QStringLiteral(":/corvane/write-16.png"));
    icon.addFile(QStringLiteral(":/corvane/write-32.png"), QSize(32, 32));
    return icon;
}

QIcon WriteSendingIcon() {
    Init();
    return QIcon(QStringLiteral(":/corvane/write-sending.png"));
}

QPixmap CaptionMessage() {
    Init();
    return QPixmap(QStringLiteral(":/corvane/caption-message.png"));
}

QPixmap CaptionError() {
    Init();
    return QPixmap(QStringLiteral(":/corvane/caption-error.png"));
}

}  // namespace CvResources
