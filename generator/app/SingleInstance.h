#pragma once
// One running Sheetforge per site: the first copy holds a lock for its whole life and, with
// a window, listens for later copies, which ask it to raise its window and exit.

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    // The instance is named after the settings it works on (the machine hive), so programs
    // working on different registries (tests) never meet.
    CSingleInstance();
    ~CSingleInstance() override;

    // Takes the lock; false when another copy holds it.
    bool Acquire();
    // Another copy holds the lock: asks its window to come to the front. False when it could
    // not be reached.
    bool RaiseOther();
    // Listens for later copies; `raise` is called on the window thread for each.
    bool Listen(std::function<void()> raise);

    const QString& GetName() const { return m_name; }

private:
    QString m_name;
    QString m_lockPath;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_raise;
};
