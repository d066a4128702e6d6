#include "service/WorkerProcess.h"

#include <QCoreApplication>
#include <QDBusPendingCallWatcher>
#include <limits>

#include "service/Interface.h"
#include "service/Worker.h"

namespace kx6000 {

WorkerProcess::WorkerProcess(QDBusConnection callers, QObject* parent)
    : QObject(parent), bus(std::move(callers)) {
    connect(&server, &QDBusServer::newConnection, this, [this](const QDBusConnection& connection) {
        if (worker) return;  // the worker's is the first; the address is known to it alone
        worker = connection;
        worker->connect({}, kWorkerPath, kPropertiesInterface, "PropertiesChanged", this,
                        SLOT(Relay(QDBusMessage)));
        worker->connect({}, kWorkerPath, kManagerInterface, "Ready", this, SIGNAL(Connected()));
    });
    connect(&process, &QProcess::finished, this, &WorkerProcess::EndWhenAnswered);
    connect(&process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) EndWhenAnswered();
    });
    // Its journal is the service's; its standard input tells it when the service is gone.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QCoreApplication::applicationFilePath(), {"--worker", server.address()});
}

void WorkerProcess::Forward(const QDBusMessage& caller) {
    QDBusMessage call = QDBusMessage::createMethodCall({}, kWorkerPath, caller.interface(), caller.member());
    call.setArguments(caller.arguments());
    Send(call, caller);
}

void WorkerProcess::Ask(const QString& member, const char* interface) {
    Send(QDBusMessage::createMethodCall({}, kWorkerPath, interface, member), {});
}

void WorkerProcess::Send(const QDBusMessage& call, const QDBusMessage& caller) {
    if (!worker) return;
    // A download takes minutes: no time-out, the worker's end answers the call otherwise.
    auto* watcher =
        new QDBusPendingCallWatcher(worker->asyncCall(call, std::numeric_limits<int>::max()), this);
    calls.emplace(watcher, caller);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &WorkerProcess::Answered);
}

void WorkerProcess::Answered(QDBusPendingCallWatcher* watcher) {
    const QDBusMessage caller = calls.at(watcher), reply = watcher->reply();
    calls.erase(watcher);
    watcher->deleteLater();
    if (caller.type() == QDBusMessage::MethodCallMessage) {
        // With no time-out, no answer means the connection broke: the worker ended.
        const QDBusError::ErrorType error = QDBusError(reply).type();
        if (error == QDBusError::NoReply || error == QDBusError::Disconnected) {
            bus.send(caller.createErrorReply(QDBusError::Failed,
                                             "The manager's worker process ended before it answered: the "
                                             "manager is gone"));
        } else if (reply.type() == QDBusMessage::ErrorMessage) {
            bus.send(caller.createErrorReply(reply.errorName(), reply.errorMessage()));
        } else {
            bus.send(caller.createReply(reply.arguments()));
        }
    }
    EndWhenAnswered();
}

void WorkerProcess::Terminate() {
    process.terminate();
}

void WorkerProcess::Relay(const QDBusMessage& signal) {
    emit Changed(signal);
}

void WorkerProcess::EndWhenAnswered() {
    if (calls.empty() && process.state() == QProcess::NotRunning) emit Ended();
}

}  // namespace kx6000
