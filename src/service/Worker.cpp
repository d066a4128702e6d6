#include "service/Worker.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "automation/Session.h"
#include "manager/clsDLManager.h"
#include "platform/Holders.h"
#include "service/Interface.h"
#include "support/OutsideText.h"
#include "support/Program.h"
#include "ui/qt/frmDownload.h"

namespace kx6000 {
namespace {

// The session takes and gives UTF-8 text.
std::string Bytes(const QVariant& text) {
    return text.toString().toUtf8().toStdString();
}
QString FromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace

Worker::Worker(QDBusConnection peer)
    : connection(std::move(peer)),
      session(std::make_unique<automation::Session>(std::make_unique<frmDownload>())) {
    session->Subscribe([this](std::string_view name) { Announce(name); });
    connection.registerVirtualObject(kWorkerPath, this);
    // The service answers its caller, who may call at once, when its manager is served.
    connection.send(QDBusMessage::createSignal(kWorkerPath, kManagerInterface, "Ready"));
}

Worker::~Worker() {
    connection.unregisterObject(kWorkerPath);
}

QString Worker::introspect(const QString& /*path*/) const {
    return {};  // the service tells callers the interface
}

bool Worker::handleMessage(const QDBusMessage& message, const QDBusConnection& /*connection*/) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    if (message.interface() == kPropertiesInterface) {
        Properties(message);
    } else if (message.interface() == kWorkerInterface && message.member() == "CallerLeft") {
        // The service's own call, never a caller's: it passes on no other interface.
        session->Cancel(automation::kStoppedByCallerLeaving);
        connection.send(message.createReply());
    } else if (message.interface().isEmpty() || message.interface() == kManagerInterface) {
        Call(message);
    } else {
        return false;
    }
    return true;
}

void Worker::Call(const QDBusMessage& message) {
    using automation::Operation;
    const QString member = message.member(), signature = message.signature();
    const QList<QVariant> arguments = message.arguments();
    clsDLManager& manager = session->Manager();
    auto reply = [&](const QList<QVariant>& values = {}) { connection.send(message.createReply(values)); };
    auto result = [](int16_t value) { return QVariant::fromValue(static_cast<short>(value)); };
    auto path = [&](int i) { return arguments[i].toString().toStdString(); };

    if (member == "ReportConfigurations" && signature == "s") {
        Operate(Operation::Report, message);
    } else if (member == "DownLoad" && signature == "s") {
        Operate(Operation::Download, message);
    } else if (member == "EraseSelected" && signature == "ss") {
        Operate(Operation::Erase, message);
    } else if (member == "SetPort" && signature == "sb") {
        reply({result(SetPort(path(0), arguments[1].toBool()))});
    } else if (member == "GetLastError" && signature.isEmpty()) {
        int32_t number = 0;
        std::string description;
        manager.GetLastError(number, description);
        reply({number, FromBytes(description)});
    } else if (member == "LoadFiles" && signature == "s") {
        reply({result(manager.LoadFiles(path(0)))});
    } else if (member == "ValidFile" && signature == "s") {
        manager.ValidFile(path(0));
        reply();
    } else if (member == "CreateNewLogFile" && signature.isEmpty()) {
        manager.CreateNewLogFile();
        reply();
    } else if (member == "Cancel" && signature.isEmpty()) {
        session->Cancel();
        reply();
    } else if (member == "Release" && signature.isEmpty()) {
        reply();
        session->Release();
        ending = true;
        EndWhenIdle();
    } else {
        connection.send(message.createErrorReply(
            QDBusError::UnknownMethod,
            QString("No method %1(%2) in %3").arg(member, signature, kManagerInterface)));
    }
}

int16_t Worker::SetPort(const std::string& port, bool window) {
    int16_t result = session->Manager().SetPort(port, window);
    // The caller gets 12; the journal says who has the port.
    if (result == 12 && !LastPortFailure.device.empty()) {
        std::string holders = Holders(LastPortFailure.device);
        std::fprintf(stderr, "kx6000-download-service: port %s (%s): %s%s\n", port.c_str(),
                     LastPortFailure.device.c_str(), LastPortFailure.error.message().c_str(),
                     holders.empty() ? "" : ("; held by " + Printable(holders)).c_str());
    }
    return result;
}

void Worker::Operate(automation::Operation operation, const QDBusMessage& message) {
    ++queued;
    // Run from the event loop, not inside the connection's delivery, so calls reaching the worker while it
    // waits for the radio are answered meanwhile (a second operation gets 13). From a timer of its own: an
    // operation started by a posted event keeps the events posted with it from the event pump until it ends.
    auto* start = new QTimer(this);
    start->setSingleShot(true);
    connect(start, &QTimer::timeout, this, [this, start, operation, message] {
        start->deleteLater();
        const QList<QVariant> arguments = message.arguments();
        std::string list = Bytes(arguments.last());
        const std::string erase = operation == automation::Operation::Erase ? Bytes(arguments[0]) : "";
        int16_t result = session->Run(operation, erase, list);
        if (!session->StopText().empty()) {
            connection.send(message.createErrorReply(kStoppedError, FromBytes(session->StopText())));
        } else {
            connection.send(
                message.createReply({QVariant::fromValue(static_cast<short>(result)), FromBytes(list)}));
        }
        --queued;
        if (session->ReleaseAsked()) ending = true;
        EndWhenIdle();
    });
    start->start(0);
}

QVariantMap Worker::Values() const {
    const automation::WindowValues& shown = session->Values();
    return {{"Status", FromBytes(shown.Status)},
            {"Baud", FromBytes(shown.Baud)},
            {"CurrentFile", FromBytes(shown.CurrentFile)},
            {"Percentage", QVariant::fromValue(uint(shown.Percentage))},
            {"RadioType", int(session->Manager().RadioType())},
            {"AssumeYes", session->AssumeYes()}};
}

void Worker::Properties(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    const QVariantMap values = Values();
    const QString member = message.member(), signature = message.signature(),
                  name = arguments.value(1).toString();
    const bool ours = !arguments.isEmpty() && arguments[0].toString() == kManagerInterface;
    auto error = [&](const QString& type, const QString& text) {
        connection.send(message.createErrorReply(type, text));
    };
    if (member == "GetAll" && signature == "s") {
        connection.send(message.createReply(QVariant::fromValue(ours ? values : QVariantMap())));
    } else if (member == "Get" && signature == "ss" && ours && values.contains(name)) {
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(values[name]))));
    } else if (member == "Set" && signature == "ssv" && ours &&
               (name == "RadioType" || name == "AssumeYes")) {
        const QVariant value = arguments[2].value<QDBusVariant>().variant();
        if (value.metaType() != values[name].metaType()) {
            error(QDBusError::errorString(QDBusError::InvalidArgs),
                  QString("%1 is of type %2").arg(name, name == "RadioType" ? "i" : "b"));
            return;
        }
        if (name == "RadioType") {
            session->Manager().RadioType(enmRadioType(value.toInt()));
        } else {
            session->AssumeYes(value.toBool());
        }
        connection.send(message.createReply());
    } else if (member == "Set" && ours && values.contains(name)) {
        error("org.freedesktop.DBus.Error.PropertyReadOnly", name + " is read-only");
    } else {
        error(QDBusError::errorString(QDBusError::InvalidArgs), "No such property");
    }
}

void Worker::Announce(std::string_view name) {
    const QString property = QString::fromUtf8(name.data(), qsizetype(name.size()));
    QDBusMessage changed = QDBusMessage::createSignal(kWorkerPath, kPropertiesInterface, "PropertiesChanged");
    changed << QString(kManagerInterface) << QVariantMap{{property, Values()[property]}} << QStringList();
    connection.send(changed);
}

void Worker::Stop() {
    session->Cancel(automation::kStoppedBySigterm);
    ending = true;
    EndWhenIdle();
}

void Worker::EndWhenIdle() {
    if (!ending || queued > 0 || session->Busy()) return;
    // A call's round trip: every answer sent before it has left when it returns.
    connection.call(QDBusMessage::createMethodCall({}, "/", "org.freedesktop.DBus.Peer", "Ping"),
                    QDBus::Block, 5000);
    emit Ended();
}

}  // namespace kx6000
