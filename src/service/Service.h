// The component on the session bus: a root object that creates managers, and
// one object per manager, each belonging to the connection that created it and
// held by a worker process of its own. Every message below the root path comes
// through one dispatcher, which checks the caller and passes the call on.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QTimer>
#include <map>
#include <memory>

namespace kx6000 {

class WorkerProcess;

class Service : public QDBusVirtualObject {
    Q_OBJECT
public:
    // A connection's managers at most, and all connections' together: each is a process.
    static constexpr int kManagersPerConnection = 16;
    static constexpr int kManagersInAll = 64;
    // The longest string a caller may pass, in UTF-8 bytes: a list (files to load, configurations to erase,
    // the list given back), or any other text (a port, a file name, a property's name).
    static constexpr qsizetype kLongestList = 64 * 1024;
    static constexpr qsizetype kLongestText = 4 * 1024;

    // Registers the root path on the connection; the name is the caller's to request.
    explicit Service(QDBusConnection connection, int idleSeconds = 30);
    ~Service() override;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // Ends every worker through its closing steps; Idle when all have ended.
    void Stop();

private slots:
    void NameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

signals:
    // No manager has been left for the idle time, or none after Stop: the program may end.
    void Idle();

private:
    struct Manager;

    void CreateManager(const QDBusMessage& message);
    // Why a call is refused before it is passed on, or nothing: a string argument beyond its bound.
    static QString Oversized(const QDBusMessage& message);
    // The manager goes for callers at once; its running operation stops through its closing steps, then its
    // worker ends.
    void OwnerLeft(Manager& manager);
    // The worker has ended: the manager is removed.
    void Remove(int number);

    QDBusConnection bus;
    std::map<int, std::unique_ptr<Manager>> managers;
    int nextNumber = 1;
    bool stopping = false;
    QTimer idle;
};

}  // namespace kx6000
