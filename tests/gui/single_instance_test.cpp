// The single-instance rule on real local sockets in a private directory.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "app/single_instance.h"

using zebrik::app::SingleInstance;

namespace {

// A socket file that nobody listens on, as a crashed instance leaves it.
bool LeaveStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = path.toLocal8Bit();
    std::strncpy(address.sun_path, name.constData(), sizeof(address.sun_path) - 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theFirstStartListensAndASecondAsksItToShowItsWindow() {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("instance"));
        SingleInstance first(name);
        QSignalSpy showRequests(&first, &SingleInstance::showRequested);
        QCOMPARE(first.Claim(), SingleInstance::Start::First);

        SingleInstance second(name);
        QCOMPARE(second.Claim(), SingleInstance::Start::Notified);

        QTRY_COMPARE(showRequests.count(), 1);
    }

    void aSocketLeftByACrashedInstanceIsReplaced() {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("instance"));
        QVERIFY(LeaveStaleSocket(name));
        QVERIFY(QFile::exists(name));

        SingleInstance start(name);
        QCOMPARE(start.Claim(), SingleInstance::Start::First);

        SingleInstance later(name);
        QCOMPARE(later.Claim(), SingleInstance::Start::Notified);
    }

    void startsAloneWhenNeitherListeningNorConnectingWorks() {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("no-such-directory/instance"));
        SingleInstance start(name);
        QCOMPARE(start.Claim(), SingleInstance::Start::Alone);
    }

    void ignoresWhatIsNotAShowRequest() {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("instance"));
        SingleInstance first(name);
        QSignalSpy showRequests(&first, &SingleInstance::showRequested);
        QCOMPARE(first.Claim(), SingleInstance::Start::First);

        QLocalSocket stranger;
        stranger.connectToServer(name);
        QVERIFY(stranger.waitForConnected(1000));
        stranger.write("hide\n");
        QVERIFY(stranger.waitForBytesWritten(1000));
        QTest::qWait(100);
        QCOMPARE(showRequests.count(), 0);
    }

    void theDefaultNameCarriesTheUserId() {
        QVERIFY(SingleInstance::DefaultServerName().endsWith(QStringLiteral("DeduvaVazarEzar") +
                                                             QString::number(getuid())));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
