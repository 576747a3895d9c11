#include "ui/CvWindowMessage.h"

#include <QCoreApplication>

CvWindowMessage::CvWindowMessage(int message, qintptr wParam, qintptr lParam, QString text)
    : QEvent(EventType()),
      message(message),
      wParam(wParam),
      lParam(lParam),
      text(std::move(text)) {}

QEvent::Type CvWindowMessage::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void CvWindowMessage::Post(QObject* target, int message, qintptr wParam, qintptr lParam,
                           QString text) {
    QCoreApplication::postEvent(target,
                                new CvWindowMessage(message, wParam, lParam, std::move(text)));
}
