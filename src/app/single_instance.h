#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace zebrik::app {

// One program per user: the first start listens on a local socket, a later start asks it
// to show its window and ends. When neither listening nor connecting works, the program
// simply runs on its own, as it would without the rule.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Start {
        First,     // this start listens: it is the one instance
        Notified,  // another instance runs and was asked to come to the front: end now
        Alone,     // no socket could be set up either way: run without the rule
    };

    explicit SingleInstance(QString serverName, QObject* parent = nullptr);

    Start Claim();
    QString ServerName() const { return serverName_; }

    // "DeduvaVazarEzar" and the user's id, in the user's private runtime directory.
    static QString DefaultServerName();

Q_SIGNALS:
    void showRequested();

private:
    bool AskRunningInstance();
    bool Listen();
    void Serve();

    QString serverName_;
    QLocalServer server_;
};

}  // namespace zebrik::app
