#pragma once

#include <QEvent>
#include <QString>
#include <QtGlobal>

class QObject;

// A private window message posted to an object's event loop: its number,
// the two parameters and, for messages that carry one, a text. Posting is
// safe from any thread; the receiver handles it in customEvent on its own
// thread, in the order the messages were posted.
class CvWindowMessage : public QEvent {
public:
    CvWindowMessage(int message, qintptr wParam, qintptr lParam, QString text);

    static QEvent::Type EventType();
    static void Post(QObject* target, int message, qintptr wParam = 0, qintptr lParam = 0,
                     QString text = {});

    const int message;
    const qintptr wParam;
    const qintptr lParam;
    const QString text;
};
