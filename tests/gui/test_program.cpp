// The real `quor` program started as a user starts it, under a virtual X
// display: it comes up with its main window and ends cleanly.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <sys/types.h>
#include <csignal>

#include "support/MediaFactory.h"

namespace {

QString QuorPath() { return QCoreApplication::applicationDirPath() + "/quor"; }

QProcessEnvironment ProgramEnvironment(const QTemporaryDir& dir) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QUOR_APPDATA", dir.path() + "/appdata/");
  env.insert("HOME", dir.path());
  env.insert("SDL_AUDIODRIVER", "dummy");
  env.insert("QT_QPA_PLATFORM", "xcb");
  return env;
}

}  // namespace

TEST(Program, StartsUnderXvfbShowsTheMainWindowAndEnds) {
  const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
  if (xvfbRun.isEmpty()) GTEST_SKIP() << "xvfb-run is not installed";
  QTemporaryDir dir;
  QProcess quor;
  QProcessEnvironment env = ProgramEnvironment(dir);
  env.insert("QUOR_STARTUP_REPORT", "1");
  quor.setProcessEnvironment(env);
  quor.start(xvfbRun, {"-a", "-s", "-screen 0 1280x900x24", QuorPath()});
  ASSERT_TRUE(quor.waitForFinished(60000)) << "quor did not end";
  const QString out = QString::fromUtf8(quor.readAllStandardOutput());
  EXPECT_TRUE(out.contains("shown rows=0"))
      << out.toStdString() << quor.readAllStandardError().toStdString();
  EXPECT_EQ(quor.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(quor.exitCode(), 0);
  // The first start wrote the settings and installed the profile.
  EXPECT_TRUE(QFile::exists(dir.path() + "/appdata/quormp4aviformat.ini"));
}

TEST(Program, FilesOnTheCommandLineAreAddedAtStart) {
  const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
  if (xvfbRun.isEmpty()) GTEST_SKIP() << "xvfb-run is not installed";
  QTemporaryDir dir;
  const QString clip =
      QString::fromStdString(TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1)));
  const QString sound = QString::fromStdString(TestMedia::Get(MediaSpec::Wav().Seconds(1)));
  QProcess quor;
  QProcessEnvironment env = ProgramEnvironment(dir);
  env.insert("QUOR_STARTUP_REPORT", "1");
  quor.setProcessEnvironment(env);
  quor.start(xvfbRun, {"-a", "-s", "-screen 0 1280x900x24", QuorPath(), clip, sound});
  ASSERT_TRUE(quor.waitForFinished(60000));
  EXPECT_TRUE(quor.readAllStandardOutput().contains("shown rows=2"));
}

TEST(Program, SigtermAndSigintCloseItCleanlyWithoutTheQuestion) {
  const QString xvfb = QStandardPaths::findExecutable("Xvfb");
  if (xvfb.isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
  QProcess server;
  server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
  ASSERT_TRUE(server.waitForReadyRead(20000));
  const QString display = ":" + QString::fromUtf8(server.readLine()).trimmed();
  for (int signal : {SIGTERM, SIGINT}) {
    QTemporaryDir dir;
    QProcessEnvironment env = ProgramEnvironment(dir);
    env.insert("DISPLAY", display);
    QProcess quor;
    quor.setProcessEnvironment(env);
    quor.setProcessChannelMode(QProcess::ForwardedChannels);
    quor.start(QuorPath(), {});
    ASSERT_TRUE(quor.waitForStarted(10000));
    // Up and showing.
    QThread::msleep(3000);
    ::kill(pid_t(quor.processId()), signal);
    ASSERT_TRUE(quor.waitForFinished(20000)) << "still running after signal " << signal;
    EXPECT_EQ(quor.exitStatus(), QProcess::NormalExit) << signal;
    EXPECT_EQ(quor.exitCode(), 0) << signal;
  }
  server.terminate();
  server.waitForFinished(5000);
}
