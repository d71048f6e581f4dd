// The real program, started twice: the second start is refused, a lock left by a killed run is
// taken over.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int startTimeoutMs = 30000;

class ProgramRuns : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        ASSERT_TRUE(config.isValid());
        program = QDir(qEnvironmentVariable("CALIDRA_RUNTIME_DIR")).filePath("Calidra");
        ASSERT_TRUE(QFile::exists(program)) << qPrintable(program);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        environment.insert("XDG_CONFIG_HOME", config.path());
    }

    void TearDown() override {
        for (auto& process : processes) {
            process->kill();
            process->waitForFinished();
        }
    }

    QProcess& start() {
        processes.push_back(std::make_unique<QProcess>());
        QProcess& process = *processes.back();
        process.setProcessEnvironment(environment);
        process.start(program, QStringList());
        EXPECT_TRUE(process.waitForStarted());
        return process;
    }

    // The process that holds the lock, by the first line of the lock file.
    qint64 lockHolder() const {
        QFile lock(runtime.filePath("Calidra.lock"));
        if (!lock.open(QIODevice::ReadOnly))
            return 0;
        return lock.readLine().trimmed().toLongLong();
    }

    QTemporaryDir runtime;
    QTemporaryDir config;
    QString program;
    QProcessEnvironment environment;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(ProgramRuns, SecondStartIsRefusedAndAStaleLockIsTakenOver) {
    QProcess& first = start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lockHolder() == first.processId(); }, startTimeoutMs));

    QProcess& second = start();
    QByteArray said;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            said += second.readAllStandardError();
            return said.contains("Calidra is already running.");
        },
        startTimeoutMs))
        << said.constData();
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(lockHolder(), first.processId());
    // Offscreen, nobody can press OK on the refusal's message box.
    second.kill();
    second.waitForFinished();

    // A crashed run leaves its lock behind; the next start takes it over.
    first.kill();
    ASSERT_TRUE(first.waitForFinished());
    ASSERT_TRUE(QFile::exists(runtime.filePath("Calidra.lock")));
    QProcess& third = start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lockHolder() == third.processId(); }, startTimeoutMs));
    EXPECT_EQ(third.state(), QProcess::Running);
    EXPECT_FALSE(third.readAllStandardError().contains("already running"));
}

} // namespace
