// The component on the session bus: a root object that creates managers, and
// one object per manager, each belonging to the connection that created it.
// Every message below the root path comes through one dispatcher.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QTimer>
#include <map>
#include <memory>

namespace kx6000 {

class clsDLManager;
class frmDownload;

inline constexpr const char* kServiceName = "com.veltrane.KX6000Download";
inline constexpr const char* kRootPath = "/com/veltrane/KX6000Download";

class Service : public QDBusVirtualObject {
    Q_OBJECT
public:
    // Registers the root path on the connection; the name is the caller's to request.
    explicit Service(QDBusConnection connection, int idleSeconds = 30);
    ~Service() override;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private slots:
    void NameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

signals:
    // No manager has been left for the idle time: the program may end.
    void Idle();

private:
    struct Manager;

    void CreateManager(const QDBusMessage& message);
    void HandleManagerCall(Manager& manager, const QDBusMessage& message);
    // Get, Set and GetAll of the manager's properties.
    void HandleProperties(Manager& manager, const QDBusMessage& message);
    // A radio operation: runs from the event loop, replies when it ends.
    void StartOperation(Manager& manager, const QDBusMessage& message);
    void Announce(Manager& manager, const char* property, const QVariant& value);
    // Closes the manager's port and removes its window and object; waits for a running operation.
    void Release(int number);

    QDBusConnection bus;
    std::map<int, std::unique_ptr<Manager>> managers;
    int nextNumber = 1;
    QTimer idle;
};

}  // namespace kx6000
