// The editor as a program: one running copy, recovery from a killed copy,
// the language file, and files found beside the program whatever the working
// directory. A copy of the program runs from a fresh folder; which files it
// opens is observed with inotify.
#include "editor_test_support.h"
#include "editor_files.h"
#include "single_application.h"
#include "testsupport/qt_wait.h"

#include <QProcess>
#include <QLockFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <memory>

namespace {

// Names of the files opened in one folder by any process.
class OpenedFiles {
public:
    explicit OpenedFiles(const QString& folder) {
        descriptor_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (descriptor_ >= 0) {
            inotify_add_watch(descriptor_, QFile::encodeName(folder).constData(), IN_OPEN);
        }
    }
    ~OpenedFiles() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    bool valid() const { return descriptor_ >= 0; }

    bool waitFor(const QString& name) {
        return calidra::test::waitForWithEvents([&] { return seen(name); });
    }
    bool seen(const QString& name) {
        collect();
        return seen_.contains(name);
    }
    void forget() {
        collect();
        seen_.clear();
    }

private:
    void collect() {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t length = ::read(descriptor_, buffer, sizeof buffer);
            if (length <= 0) {
                return;
            }
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if (event->len > 0) {
                    seen_.insert(QString::fromUtf8(event->name));
                }
                offset += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    }

    int descriptor_ = -1;
    QSet<QString> seen_;
};

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void secondStartExitsAtOnceAndFirstKeepsRunning();
    void killedEditorDoesNotBlockLaterStarts();
    void languageFileChosenFromLocaleBesideProgram();
    void fifosInPlaceOfItsFilesNeitherHoldTheWindowNorTheEnd();

private:
    std::unique_ptr<QProcess> start(const QString& localeName = QStringLiteral("en_US.UTF-8"),
                                    const QString& program = QString());
    // Whether a live editor holds the lock (one that was killed holds nothing).
    bool lockHeld() {
        QLockFile probe(runtimeFolder_.filePath(zonara::kInstanceKey + QStringLiteral(".lock")));
        probe.setStaleLockTime(0);
        const bool taken = probe.tryLock(0);
        if (taken) {
            probe.unlock();
        }
        return !taken;
    }

    QTemporaryDir runtimeFolder_;
    QTemporaryDir programFolder_;
    QTemporaryDir workingFolder_;
    QString program_;
    std::vector<std::unique_ptr<QProcess>> running_;
};

void StartupTest::initTestCase() {
    // The editor's lock lies in the runtime folder: a folder of our
    // own keeps these runs apart from an editor the operator has open.
    QVERIFY(!lockHeld());

    program_ = programFolder_.filePath("Zonara");
    QVERIFY(QFile::copy(QStringLiteral(ZONARA_PROGRAM), program_));
    QVERIFY(zonara::test::writeSnapshot(programFolder_.path(), 384, 288));
    QVERIFY(zonara::test::writeMaskFile(programFolder_.path(), maskfile::defaultRecords(384, 288)));
    QVERIFY(QDir(programFolder_.path()).mkdir("lang"));
    QVERIFY(
        QFile::copy(QStringLiteral(ZONARA_KOREAN_TRANSLATION), programFolder_.filePath("lang/lang_fr.qm")));
}

void StartupTest::cleanup() {
    for (auto& process : running_) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    running_.clear();
}

std::unique_ptr<QProcess> StartupTest::start(const QString& localeName, const QString& program) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_RUNTIME_DIR", runtimeFolder_.path());
    environment.insert("LC_ALL", localeName);
    environment.remove("LANGUAGE");
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(workingFolder_.path());
    process->setProgram(program.isEmpty() ? program_ : program);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start();
    return process;
}

void StartupTest::secondStartExitsAtOnceAndFirstKeepsRunning() {
    OpenedFiles opened(programFolder_.path());
    QVERIFY(opened.valid());
    auto first = start();
    QVERIFY(first->waitForStarted());
    // Files found beside the program, not in the working directory.
    QVERIFY(opened.waitFor("snapshot.jpg"));
    QVERIFY(opened.waitFor("maskinfo.cfg"));
    opened.forget();

    auto second = start();
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(!opened.seen("snapshot.jpg"));
    QCOMPARE(first->state(), QProcess::Running);
    QVERIFY(lockHeld());

    // Ending normally releases the lock; the next start opens the window.
    first->terminate();
    QVERIFY(first->waitForFinished(10000));
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);
    QVERIFY(!lockHeld());

    auto third = start();
    QVERIFY(opened.waitFor("snapshot.jpg"));
    QVERIFY(opened.waitFor("maskinfo.cfg"));
    QCOMPARE(third->state(), QProcess::Running);
    running_.push_back(std::move(third));
}

void StartupTest::killedEditorDoesNotBlockLaterStarts() {
    OpenedFiles opened(programFolder_.path());
    auto crashed = start();
    QVERIFY(opened.waitFor("snapshot.jpg"));
    ::kill(pid_t(crashed->processId()), SIGKILL);
    QVERIFY(crashed->waitForFinished(10000));
    QCOMPARE(crashed->exitStatus(), QProcess::CrashExit);
    opened.forget();

    auto next = start();
    QVERIFY(opened.waitFor("snapshot.jpg"));
    QVERIFY(opened.waitFor("maskinfo.cfg"));
    QCOMPARE(next->state(), QProcess::Running);
    next->terminate();
    QVERIFY(next->waitForFinished(10000));
    QCOMPARE(next->exitCode(), 0);
    QVERIFY(!lockHeld());
}

void StartupTest::languageFileChosenFromLocaleBesideProgram() {
#ifndef ZONARA_KOREAN_TRANSLATION
    QSKIP("built without lrelease: no translation file to look up");
#endif
    OpenedFiles opened(programFolder_.filePath("lang"));
    auto editor = start(QStringLiteral("fr_CA.UTF-8"));
    QVERIFY(opened.waitFor("lang_fr.qm"));
    running_.push_back(std::move(editor));
}

void StartupTest::fifosInPlaceOfItsFilesNeitherHoldTheWindowNorTheEnd() {
    QTemporaryDir fifoFolder;
    const QString program = fifoFolder.filePath("Zonara");
    QVERIFY(QFile::copy(QStringLiteral(ZONARA_PROGRAM), program));
    for (const char* name : {"snapshot.jpg", "maskinfo.cfg"})
        QCOMPARE(::mkfifo(QFile::encodeName(fifoFolder.filePath(name)).constData(), 0644), 0);
    auto editor = start(QStringLiteral("en_US.UTF-8"), program);
    QVERIFY(editor->waitForStarted());
    // The lock names its holder; probing it with a lock of our own could turn the editor away.
    QFile lock(runtimeFolder_.filePath(zonara::kInstanceKey + QStringLiteral(".lock")));
    const QByteArray pid = QByteArray::number(editor->processId());
    const auto holder = [&] {
        QByteArray first;
        if (lock.open(QIODevice::ReadOnly)) {
            first = lock.readLine().trimmed();
            lock.close();
        }
        return first;
    };
    QVERIFY(calidra::test::waitForWithEvents([&] { return holder() == pid; }));
    // Passing a FIFO by leaves no trace to wait for: a second is well past start-up, by when the
    // window is built or never will be.
    QTest::qWait(1000);
    editor->terminate();
    const bool ended = editor->waitForFinished(5000);
    running_.push_back(std::move(editor));
    QVERIFY2(ended, "a FIFO held the editor");
    QCOMPARE(running_.back()->exitStatus(), QProcess::NormalExit);
    QCOMPARE(running_.back()->exitCode(), 0);
    QVERIFY(!lockHeld());
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
