#pragma once

// Acting on a modal dialog from inside the nested event loop that shows it.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Once a modal widget satisfying `match` is up, runs `act` on it, once. The returned
// timer must outlive the show; destroying it stops the watch.
inline std::unique_ptr<QTimer> whenModalShown(std::function<bool(QWidget *)> match,
                                              std::function<void(QWidget *)> act)
{
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(10);
    QTimer *raw = timer.get();
    QObject::connect(raw, &QTimer::timeout, raw, [raw, match, act] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && match(modal)) {
            raw->stop();
            act(modal);
        }
    });
    timer->start();
    return timer;
}
