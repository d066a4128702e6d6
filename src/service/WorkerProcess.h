// A manager's worker process as the service sees it: started with a private
// connection of its own, the callers' calls passed to it and its answers back.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServer>
#include <QProcess>
#include <map>
#include <optional>

#include "service/Interface.h"

class QDBusPendingCallWatcher;

namespace kx6000 {

class WorkerProcess : public QObject {
    Q_OBJECT
public:
    // Starts the worker; its answers go to callers on `bus`.
    WorkerProcess(QDBusConnection bus, QObject* parent);

    // Passes a caller's call on: the worker's answer or error goes back to the caller as it is, a Failed
    // error when the worker ends first.
    void Forward(const QDBusMessage& caller);
    // Calls a method of the worker for the service itself, its answer dropped.
    void Ask(const QString& member, const char* interface = kManagerInterface);
    // Asks the worker to end through its closing steps (SIGTERM).
    void Terminate();

signals:
    // The worker is connected and serves its manager.
    void Connected();
    // A PropertiesChanged of the worker's manager.
    void Changed(const QDBusMessage& signal);
    // The process has ended and every call forwarded has been answered.
    void Ended();

private slots:
    void Relay(const QDBusMessage& signal);

private:
    void Send(const QDBusMessage& call, const QDBusMessage& caller);
    void Answered(QDBusPendingCallWatcher* watcher);
    void EndWhenAnswered();

    QDBusConnection bus;
    QDBusServer server;
    std::optional<QDBusConnection> worker;
    QProcess process;
    std::map<QDBusPendingCallWatcher*, QDBusMessage> calls;  // sent, not yet answered: their callers
};

}  // namespace kx6000
