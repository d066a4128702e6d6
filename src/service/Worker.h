// One manager in a process of its own, served to the service on a private
// connection: the component's program-wide state (last error, logs, Debug,
// window) belongs to this manager alone.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <memory>
#include <string_view>

namespace kx6000 {

namespace automation {
class Session;
enum class Operation;
}  // namespace automation

// Where the worker serves its manager on the connection to the service.
inline constexpr const char* kWorkerPath = "/manager";

class Worker : public QDBusVirtualObject {
    Q_OBJECT
public:
    // Makes the manager over a window, serves it on `connection` and says it is ready.
    explicit Worker(QDBusConnection connection);
    ~Worker() override;

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    // Stops the running operation through its closing steps, then the manager goes.
    void Stop();

signals:
    // The manager has gone, its last answer sent: the program may end.
    void Ended();

private:
    void Call(const QDBusMessage& message);
    // Get, Set and GetAll of the manager's properties.
    void Properties(const QDBusMessage& message);
    // A radio operation: runs from the event loop, answers when it ends.
    void Operate(automation::Operation operation, const QDBusMessage& message);
    // The manager's SetPort; a port in use is said in the journal with the programs holding it.
    int16_t SetPort(const std::string& port, bool window);
    // Every property, as a caller reads it.
    QVariantMap Values() const;
    // A PropertiesChanged of the one value.
    void Announce(std::string_view name);
    // Ends once no operation is queued or running.
    void EndWhenIdle();

    QDBusConnection connection;
    std::unique_ptr<automation::Session> session;
    int queued = 0;       // operations called and not yet answered
    bool ending = false;  // released or stopped: goes when idle
};

}  // namespace kx6000
