#include "service/Service.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include "manager/clsDLManager.h"
#include "service/Interface.h"
#include "support/Program.h"
#include "ui/qt/frmDownload.h"

namespace kx6000 {
namespace {

constexpr const char* kComponentInterface = "com.veltrane.KX6000Download.Component";
constexpr const char* kManagerInterface = "com.veltrane.KX6000Download.Manager";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kIntrospectable = "org.freedesktop.DBus.Introspectable";

const QString kManagerPrefix = QString(kRootPath) + "/Manager/";

// One <interface> element of the interface file.
QString InterfaceXml(const char* name) {
    const QString xml = kInterfaceXml;
    qsizetype start = xml.indexOf(QString("<interface name=\"%1\">").arg(name));
    qsizetype end = xml.indexOf("</interface>", start) + qsizetype(sizeof "</interface>" - 1);
    return xml.mid(start, end - start);
}

// Configuration lists carry product IDs, one byte a character; file names are UTF-8.
std::string Bytes(const QVariant& text) {
    return text.toString().toLatin1().toStdString();
}
QString FromBytes(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

}  // namespace

struct Service::Manager {
    int number = 0;
    QString path, owner;
    std::unique_ptr<clsDLManager> component;
    // The read-only properties, as the window last showed them.
    QVariantMap shown = {{"Status", QString()},
                         {"Baud", QString()},
                         {"CurrentFile", QString()},
                         {"Percentage", QVariant::fromValue(0u)}};
    bool running = false;   // its radio operation is queued or runs
    bool released = false;  // to go as soon as that operation ends
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
        for (const auto& [number, manager] : managers) children += QString("<node name=\"%1\"/>").arg(number);
        return children;
    }
    return managers.count(path.mid(kManagerPrefix.size()).toInt()) ? InterfaceXml(kManagerInterface)
                                                                   : QString();
}

bool Service::handleMessage(const QDBusMessage& message, const QDBusConnection& /*connection*/) {
    if (message.type() != QDBusMessage::MethodCallMessage || message.interface() == kIntrospectable)
        return false;
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
    if (!numbered || found == managers.end() || found->second->released) {
        bus.send(message.createErrorReply(QDBusError::UnknownObject, "No such manager: " + message.path()));
    } else if (message.service() != found->second->owner) {
        bus.send(
            message.createErrorReply(QDBusError::AccessDenied, "The manager belongs to another connection"));
    } else if (message.interface() == kProperties) {
        HandleProperties(*found->second, message);
    } else if (message.interface().isEmpty() || message.interface() == kManagerInterface) {
        HandleManagerCall(*found->second, message);
    } else {
        return false;
    }
    return true;
}

void Service::CreateManager(const QDBusMessage& message) {
    auto manager = std::make_unique<Manager>();
    manager->number = nextNumber++;
    manager->path = kManagerPrefix + QString::number(manager->number);
    manager->owner = message.service();
    auto form = std::make_unique<frmDownload>();
    Manager* m = manager.get();
    connect(form.get(), &frmDownload::StatusShown, this,
            [this, m](const QString& text) { Announce(*m, "Status", text); });
    connect(form.get(), &frmDownload::BaudShown, this,
            [this, m](const QString& text) { Announce(*m, "Baud", text); });
    connect(form.get(), &frmDownload::FileNameShown, this,
            [this, m](const QString& text) { Announce(*m, "CurrentFile", text); });
    connect(form.get(), &frmDownload::ProgressShown, this,
            [this, m](int value) { Announce(*m, "Percentage", QVariant::fromValue(uint(value))); });
    manager->component = std::make_unique<clsDLManager>(std::move(form));
    idle.stop();
    bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(manager->path))));
    managers.emplace(manager->number, std::move(manager));
}

void Service::HandleManagerCall(Manager& manager, const QDBusMessage& message) {
    const QString member = message.member(), signature = message.signature();
    const QList<QVariant> arguments = message.arguments();
    clsDLManager& component = *manager.component;
    auto reply = [&](const QList<QVariant>& values) { bus.send(message.createReply(values)); };
    auto result = [](int16_t value) { return QVariant::fromValue(static_cast<short>(value)); };
    auto path = [&](int i) { return arguments[i].toString().toStdString(); };

    if ((member == "ReportConfigurations" && signature == "s") ||
        (member == "DownLoad" && signature == "s") || (member == "EraseSelected" && signature == "ss")) {
        StartOperation(manager, message);
    } else if (member == "SetPort" && signature == "sb") {
        reply({result(component.SetPort(path(0), arguments[1].toBool()))});
    } else if (member == "GetLastError" && signature.isEmpty()) {
        int32_t number = 0;
        std::string description;
        component.GetLastError(number, description);
        reply({number, FromBytes(description)});
    } else if (member == "LoadFiles" && signature == "s") {
        reply({result(component.LoadFiles(path(0)))});
    } else if (member == "ValidFile" && signature == "s") {
        component.ValidFile(path(0));
        reply({});
    } else if (member == "CreateNewLogFile" && signature.isEmpty()) {
        component.CreateNewLogFile();
        reply({});
    } else if (member == "Release" && signature.isEmpty()) {
        reply({});
        Release(manager.number);
    } else {
        bus.send(message.createErrorReply(
            QDBusError::UnknownMethod,
            QString("No method %1(%2) in %3").arg(member, signature, kManagerInterface)));
    }
}

void Service::StartOperation(Manager& manager, const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (OperationRunning) {
        // Answered at once: the running operation keeps the port and the program's state.
        bus.send(message.createReply({QVariant::fromValue(short(clsDLManager::kInUse)), arguments.last()}));
        return;
    }
    manager.running = true;
    // Runs from the event loop, not inside the bus's delivery, so every other call is served meanwhile.
    QTimer::singleShot(0, this, [this, number = manager.number, message] {
        Manager& m = *managers.at(number);
        const QList<QVariant> arguments = message.arguments();
        std::string list = Bytes(arguments.last());
        int16_t result = 0;
        if (message.member() == "ReportConfigurations") {
            result = m.component->ReportConfigurations(&list);
        } else if (message.member() == "DownLoad") {
            result = m.component->DownLoad(&list);
        } else {
            result = m.component->EraseSelected(Bytes(arguments[0]), &list);
        }
        bus.send(message.createReply({QVariant::fromValue(short(result)), FromBytes(list)}));
        m.running = false;
        if (m.released) Release(number);
    });
}

void Service::HandleProperties(Manager& manager, const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    QVariantMap values = manager.shown;
    values["RadioType"] = int(manager.component->RadioType());
    const QString member = message.member(), signature = message.signature();
    const bool ours = !arguments.isEmpty() && arguments[0].toString() == kManagerInterface;
    if (member == "GetAll" && signature == "s") {
        bus.send(message.createReply(QVariant::fromValue(ours ? values : QVariantMap())));
    } else if (member == "Get" && signature == "ss" && ours && values.contains(arguments[1].toString())) {
        bus.send(message.createReply(QVariant::fromValue(QDBusVariant(values[arguments[1].toString()]))));
    } else if (member == "Set" && signature == "ssv" && ours && arguments[1].toString() == "RadioType") {
        manager.component->RadioType(enmRadioType(arguments[2].value<QDBusVariant>().variant().toInt()));
        bus.send(message.createReply());
    } else if (member == "Set" && ours && values.contains(arguments[1].toString())) {
        bus.send(message.createErrorReply("org.freedesktop.DBus.Error.PropertyReadOnly",
                                          arguments[1].toString() + " is read-only"));
    } else {
        bus.send(message.createErrorReply(QDBusError::InvalidArgs, "No such property"));
    }
}

void Service::Announce(Manager& manager, const char* property, const QVariant& value) {
    if (manager.shown[property] == value) return;
    manager.shown[property] = value;
    QDBusMessage changed = QDBusMessage::createSignal(manager.path, kProperties, "PropertiesChanged");
    changed << QString(kManagerInterface) << QVariantMap{{property, value}} << QStringList();
    bus.send(changed);
}

void Service::Release(int number) {
    auto found = managers.find(number);
    if (found == managers.end()) return;
    if (found->second->running) {
        found->second->released = true;
        return;
    }
    managers.erase(found);  // closes its port, removes its window
    if (managers.empty()) idle.start();
}

void Service::NameOwnerChanged(const QString& name, const QString& /*oldOwner*/, const QString& newOwner) {
    if (!newOwner.isEmpty()) return;
    std::vector<int> owned;
    for (const auto& [number, manager] : managers)
        if (manager->owner == name) owned.push_back(number);
    for (int number : owned) Release(number);
}

}  // namespace kx6000
