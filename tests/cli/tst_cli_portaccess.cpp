#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <cstdio>

#include "clirun.h"
#include "link/portaccess.h"
#include "session/session.h"
#include "support/recordingpresentation.h"

// A port this user may not open: the window's message and velmora-cli say
// the same thing, which group owns the device and the command that lets
// the user in. Run as an unprivileged user, since root opens anything: as
// root the checks run in children switched to "nobody".
class TestCliPortAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void windowAndCliGiveTheSameAdvice_data();
    void windowAndCliGiveTheSameAdvice();

private:
    QStringList asUser(const QString& program, const QStringList& args) const;
    bool root_ = false;
};

namespace {

constexpr char kChildFlag[] = "--window-message";
constexpr uid_t kNobody = 65534;

// What the window would show for `port`: the session's message box text.
int windowMessageChild(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RecordingPresentation view;
    Session session{&view};
    session.settings().porta = QString::fromLocal8Bit(argv[2]);
    session.settings().velocita = QStringLiteral("9600");
    session.impostacom();
    session.tRecover().stop();
    for (const QString& q : view.questions)
        std::fputs(q.toLocal8Bit().constData(), stdout);
    return 0;
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QString& program, const QStringList& args, const QString& home) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_HOME"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(30000))
        p.kill();
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

QString userNameOf(uid_t uid) {
    const passwd* pw = getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
}

// A group the unprivileged user is not in, for the device node's owner.
gid_t foreignGroup() {
    for (const char* name : {"dialout", "uucp", "plugdev"})
        if (const group* g = getgrnam(name)) {
            bool member = false;
            for (char** m = g->gr_mem; m && *m; ++m)
                member = member || QByteArray(*m) == "nobody";
            if (!member)
                return g->gr_gid;
        }
    return 20;
}

}  // namespace

void TestCliPortAccess::initTestCase() {
    root_ = geteuid() == 0;
    if (root_ && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("running as root without setpriv to become an unprivileged user");
}

QStringList TestCliPortAccess::asUser(const QString& program, const QStringList& args) const {
    if (!root_)
        return QStringList{program} + args;
    return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(kNobody),
                       QStringLiteral("--regid=%1").arg(kNobody), QStringLiteral("--clear-groups"),
                       QStringLiteral("--"), program} +
           args;
}

void TestCliPortAccess::windowAndCliGiveTheSameAdvice_data() {
    QTest::addColumn<bool>("groupMayOpen");
    QTest::newRow("group may open it") << true;
    QTest::newRow("only its owner may open it") << false;
}

void TestCliPortAccess::windowAndCliGiveTheSameAdvice() {
    QFETCH(bool, groupMayOpen);
    // Everything the unprivileged child reads or writes must be open to it.
    QTemporaryDir scratch;
    QVERIFY(QFile::setPermissions(scratch.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ExeOwner | QFile::ReadOther |
                                                       QFile::WriteOther | QFile::ExeOther));
    const QString home = scratch.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home + QStringLiteral("/Config")));
    QFile::setPermissions(home, QFile::Permissions(0x7777));
    QFile::setPermissions(home + QStringLiteral("/Config"), QFile::Permissions(0x7777));
    QVERIFY(QFile::copy(sourceDir() + QStringLiteral("/Config/DATV0000.def"),
                        home + QStringLiteral("/Config/DATV0000.def")));
    QFile::setPermissions(home + QStringLiteral("/Config/DATV0000.def"),
                          QFile::Permissions(0x4444));

    // A file node stands in for the device: the open fails on its bits
    // before anything asks whether it is a terminal.
    const QString port = scratch.filePath(QStringLiteral("ttyUSB9"));
    QString owner;
    if (root_) {
        QFile node(port);
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        const gid_t gid = groupMayOpen ? foreignGroup() : 0;
        QCOMPARE(::chown(QFile::encodeName(port).constData(), 0, gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(port).constData(), groupMayOpen ? 0660 : 0600), 0);
        const struct group* g = getgrgid(gid);
        owner = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
    } else {
        // An unprivileged user can only give a file to its own groups; a
        // real device of another group serves instead.
        QSKIP("needs a device node of a group this user is not in; run as root");
    }
    const QString user = userNameOf(root_ ? kNobody : geteuid());

    const QStringList window = asUser(QCoreApplication::applicationFilePath(),
                                      {QString::fromLatin1(kChildFlag), port});
    const Run shown = runProgram(window.first(), window.mid(1), home);
    QCOMPARE(shown.exitCode, 0);
    const QStringList cli = asUser(cliPath(), {QStringLiteral("info"), QStringLiteral("--port"), port});
    const Run said = runProgram(cli.first(), cli.mid(1), home);
    QVERIFY2(said.exitCode == 1, qPrintable(said.err));  // the instrument's exit code

    // The advice as the window shows it, after the port's own line.
    const QString prefix = QStringLiteral("1|") + port + QStringLiteral(" not Available\n");
    QVERIFY2(shown.out.startsWith(prefix), qPrintable(shown.out + shown.err));
    const QString advice = shown.out.mid(prefix.size());
    QCOMPARE(said.err, QStringLiteral("velmora-cli: ") + advice + QLatin1Char('\n'));

    if (groupMayOpen) {
        QVERIFY2(advice.contains(QStringLiteral("\"%1\"").arg(owner)), qPrintable(advice));
        QVERIFY2(advice.contains(QStringLiteral("sudo usermod -aG %1 %2\n").arg(owner, user)),
                 qPrintable(advice));
        QVERIFY(advice.contains(QStringLiteral("log in again")));
    } else {
        // Joining root's group is no advice to give.
        QVERIFY2(!advice.contains(QStringLiteral("usermod")), qPrintable(advice));
        QVERIFY(advice.contains(QStringLiteral("administrator")));
    }
    // Root itself may open the node: no permission advice at all then.
    if (root_)
        QVERIFY(PortAccess::permissionAdvice(port).contains(QStringLiteral("another program")));
}

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], kChildFlag) == 0)
        return windowMessageChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestCliPortAccess test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cli_portaccess.moc"
