#include "service/Service.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <algorithm>

#include "service/Interface.h"
#include "service/WorkerProcess.h"

namespace kx6000 {
namespace {

constexpr const char* kIntrospectable = "org.freedesktop.DBus.Introspectable";

const QString kManagerPrefix = QString(kRootPath) + "/Manager/";

// One <interface> element of the interface file.
QString InterfaceXml(const char* name) {
    const QString xml = kInterfaceXml;
    qsizetype start = xml.indexOf(QString("<interface name=\"%1\">").arg(name));
    qsizetype end = xml.indexOf("</interface>", start) + qsizetype(sizeof "</interface>" - 1);
    return xml.mid(start, end - start);
}

// The members whose string arguments are lists, with kLongestList as their bound.
bool TakesLists(const QString& member) {
    return member == "LoadFiles" || member == "EraseSelected" || member == "ReportConfigurations" ||
           member == "DownLoad";
}

}  // namespace

struct Service::Manager {
    QString path, owner;
    WorkerProcess* worker = nullptr;  // a child of the service
    QDBusMessage creation;            // the CreateManager call, answered once the worker is connected
    bool connected = false;
    bool released = false;  // gone for callers; its worker ends after its running operation
};

Service::Service(QDBusConnection connection, int idleSeconds) : bus(std::move(connection)) {
    bus.registerVirtualObject(kRootPath, this, QDBusConnection::SubPath);
    // A connection that leaves the bus takes its managers with it.
    bus.connect("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                this, SLOT(NameOwnerChanged(QString, QString, QString)));
    idle.setSingleShot(true);
    idle.setInterval(idleSeconds * 1000);
    connect(&idle, &QTimer::timeout, this, &Service::Idle);
    idle.start();
}

Service::~Service() {
    bus.unregisterObject(kRootPath, QDBusConnection::UnregisterTree);
}

QString Service::introspect(const QString& path) const {
    if (path == kRootPath) return InterfaceXml(kComponentInterface) + "<node name=\"Manager\"/>";
    if (path + "/" == kManagerPrefix) {
        QString children;
        for (const auto& [number, manager] : managers)
            if (manager->connected && !manager->released)
                children += QString("<node name=\"%1\"/>").arg(number);
        return children;
    }
    auto found = managers.find(path.mid(kManagerPrefix.size()).toInt());
    return found != managers.end() && found->second->connected && !found->second->released
               ? InterfaceXml(kManagerInterface)
               : QString();
}

bool Service::handleMessage(const QDBusMessage& message, const QDBusConnection& /*connection*/) {
    if (message.type() != QDBusMessage::MethodCallMessage || message.interface() == kIntrospectable)
        return false;
    // An argument too long for any use is refused before it is held or passed on.
    if (QString why = Oversized(message); !why.isEmpty()) {
        bus.send(message.createErrorReply(QDBusError::InvalidArgs, why));
        return true;
    }
    if (message.path() == kRootPath) {
        if (message.member() != "CreateManager" || !message.signature().isEmpty()) return false;
        CreateManager(message);
        return true;
    }
    bool numbered = false;
    int number = message.path().startsWith(kManagerPrefix)
                     ? message.path().mid(kManagerPrefix.size()).toInt(&numbered)
                     : 0;
    auto found = managers.find(number);
    Manager* manager = numbered && found != managers.end() ? found->second.get() : nullptr;
    const QString interface = message.interface();
    if (manager == nullptr || !manager->connected || manager->released) {
        bus.send(message.createErrorReply(QDBusError::UnknownObject, "No such manager: " + message.path()));
    } else if (message.service() != manager->owner) {
        bus.send(
            message.createErrorReply(QDBusError::AccessDenied, "The manager belongs to another connection"));
    } else if (interface == kPropertiesInterface || interface.isEmpty() || interface == kManagerInterface) {
        manager->worker->Forward(message);
        if (interface != kPropertiesInterface && message.member() == "Release" &&
            message.signature().isEmpty())
            manager->released = true;
    } else {
        return false;
    }
    return true;
}

QString Service::Oversized(const QDBusMessage& message) {
    const qsizetype longest = message.interface() != kPropertiesInterface && TakesLists(message.member())
                                  ? kLongestList
                                  : kLongestText;
    const QList<QVariant> arguments = message.arguments();
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QVariant value = arguments[i];
        if (value.metaType() == QMetaType::fromType<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
        // No member takes an array or a structure: one is not passed on, whatever its size.
        if (value.metaType() == QMetaType::fromType<QDBusArgument>())
            return QString("Argument %1 is of a type no member takes").arg(i + 1);
        if (value.metaType() != QMetaType::fromType<QString>()) continue;
        // A text longer in characters is longer in bytes: it is not converted to count them.
        const QString text = value.toString();
        if (text.size() > longest || text.toUtf8().size() > longest)
            return QString("Argument %1 is longer than %2 bytes").arg(i + 1).arg(longest);
    }
    return {};
}

void Service::CreateManager(const QDBusMessage& message) {
    const QString owner = message.service();
    if (stopping) {
        bus.send(message.createErrorReply(QDBusError::Failed, "The service is ending"));
        return;
    }
    if (std::ranges::count_if(managers, [&](const auto& entry) {
            return entry.second->owner == owner && !entry.second->released;
        }) >= kManagersPerConnection) {
        bus.send(message.createErrorReply(QDBusError::LimitsExceeded,
                                          QString("A connection holds at most %1 managers; release one first")
                                              .arg(kManagersPerConnection)));
        return;
    }
    // Released managers count until their workers end: each is a process until then.
    if (managers.size() >= size_t(kManagersInAll)) {
        bus.send(message.createErrorReply(
            QDBusError::LimitsExceeded,
            QString("The service holds at most %1 managers in all; try again later").arg(kManagersInAll)));
        return;
    }
    const int number = nextNumber++;
    auto manager = std::make_unique<Manager>();
    manager->path = kManagerPrefix + QString::number(number);
    manager->owner = owner;
    manager->creation = message;
    manager->worker = new WorkerProcess(bus, this);
    connect(manager->worker, &WorkerProcess::Connected, this, [this, number] {
        Manager& m = *managers.at(number);
        m.connected = true;
        bus.send(m.creation.createReply(QVariant::fromValue(QDBusObjectPath(m.path))));
    });
    // The manager's changes go to its owner alone.
    connect(manager->worker, &WorkerProcess::Changed, this, [this, number](const QDBusMessage& signal) {
        const Manager& m = *managers.at(number);
        QDBusMessage changed =
            QDBusMessage::createTargetedSignal(m.owner, m.path, kPropertiesInterface, "PropertiesChanged");
        changed.setArguments(signal.arguments());
        bus.send(changed);
    });
    connect(manager->worker, &WorkerProcess::Ended, this, [this, number] { Remove(number); });
    idle.stop();
    managers.emplace(number, std::move(manager));
}

void Service::OwnerLeft(Manager& manager) {
    if (manager.released) return;
    manager.released = true;
    if (!manager.connected) return manager.worker->Terminate();
    manager.worker->Ask("CallerLeft", kWorkerInterface);
    manager.worker->Ask("Release");
}

void Service::Remove(int number) {
    auto found = managers.find(number);
    if (found == managers.end()) return;
    Manager& manager = *found->second;
    if (!manager.connected && !manager.released)
        bus.send(manager.creation.createErrorReply(QDBusError::Failed,
                                                   "The manager's worker process ended before it was ready"));
    manager.worker->disconnect(this);
    manager.worker->deleteLater();  // it is in the middle of its signal
    managers.erase(found);
    if (!managers.empty()) return;
    if (stopping) {
        emit Idle();
    } else {
        idle.start();
    }
}

void Service::Stop() {
    stopping = true;
    idle.stop();
    if (managers.empty()) emit Idle();
    for (const auto& [number, manager] : managers) manager->worker->Terminate();
}

void Service::NameOwnerChanged(const QString& name, const QString& /*oldOwner*/, const QString& newOwner) {
    if (!newOwner.isEmpty()) return;
    for (const auto& [number, manager] : managers)
        if (manager->owner == name) OwnerLeft(*manager);
}

}  // namespace kx6000
