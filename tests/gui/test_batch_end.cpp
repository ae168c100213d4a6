// The end of a batch run from the main window: every output checked before
// it counts as done, and a desktop notification when the window is not
// active (sent to a notification service of the test's own on a private
// session bus).
#include <QAbstractItemModel>
#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <mutex>

#include "GuiTestSupport.h"
#include "app/GlobalUnit.h"
#include "engine/probe/OutputCheck.h"
#include "gui/common/DesktopNotification.h"
#include "gui/widgets/SourceListView.h"
#include "support/MediaFactory.h"

namespace {

// The notification service: records what it is told.
class TFakeNotifications : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  std::mutex Mutex;
  QStringList Bodies;

 public slots:
  uint Notify(const QString&, uint, const QString&, const QString&, const QString& body,
              const QStringList&, const QVariantMap&, int) {
    std::lock_guard lock(Mutex);
    Bodies << body;
    return uint(Bodies.size());
  }
};

// A private session bus with the fake service on a thread of its own, so
// the window's blocking call is answered while the test thread waits.
class TPrivateBus : public QThread {
 public:
  bool Start() {
    daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon_.waitForReadyRead(5000)) return false;
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty()) return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    start();
    for (int i = 0; i < 200 && !registered_; ++i) QThread::msleep(10);
    return registered_;
  }
  ~TPrivateBus() override {
    quit();
    wait();
    daemon_.kill();
    daemon_.waitForFinished();
  }
  TFakeNotifications* Service() { return service_; }

 protected:
  void run() override {
    TFakeNotifications service;
    service_ = &service;
    {
      QDBusConnection bus = QDBusConnection::connectToBus(address_, "fake-notifications");
      registered_ = bus.registerService("org.freedesktop.Notifications") &&
                    bus.registerObject("/org/freedesktop/Notifications", &service,
                                       QDBusConnection::ExportAllSlots);
      exec();
    }
    QDBusConnection::disconnectFromBus("fake-notifications");
    service_ = nullptr;
  }

 private:
  QProcess daemon_;
  QString address_;
  std::atomic<bool> registered_{false};
  TFakeNotifications* service_ = nullptr;
};

QStringList TwoClips() {
  return {QString::fromStdString(TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(2))),
          QString::fromStdString(TestMedia::Get(MediaSpec::Avi().Size(160, 120).Seconds(2)))};
}

}  // namespace

class BatchEndTest : public MainWindowTest {
 protected:
  // `duringBatch` runs once the progress window runs the batch.
  void RunBatch(std::function<void()> duringBatch = nullptr) {
    TAppSettings(main_->SettingsFile()).SetOutPutDir(scratch_.Sub("out"));
    main_->ChooseFiles = [] { return TwoClips(); };
    main_->AddFiles();
    ended_ = false;
    auto previous = main_->Batch().OnBatchFinished;
    main_->Batch().OnBatchFinished = [this, previous](const TBatchSummary& s) {
      previous(s);
      ended_ = true;
    };
    QTimer watch;
    if (duringBatch) {
      watch.setInterval(5);
      QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!QApplication::activeModalWidget()) return;
        watch.stop();
        duringBatch();
      });
      watch.start();
    }
    user::Click(main_->btnStart);
    ASSERT_TRUE(WaitFor([&] { return ended_; }, 50000));
  }
  bool ended_ = false;
};

TEST_F(BatchEndTest, CheckedOutputsShowDoneAndACutOutputShowsCheckFailedWithItsReason) {
  // The second file is cut short after its conversion, before the check.
  main_->Batch().SetOutputChecker([](const std::string& file, const TOutputExpectation& expected) {
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".mp4") == 0 &&
        file.find("avi_") != std::string::npos)
      std::filesystem::resize_file(file, std::filesystem::file_size(file) / 3);
    return CheckOutput(file, expected);
  });
  RunBatch();
  const TSourceList& list = main_->SourceList();
  EXPECT_EQ(list.Row(0).Progress, "100%");
  EXPECT_EQ(list.Row(0).ProgressTip, "");
  EXPECT_EQ(list.Row(1).Progress, "Check failed");
  EXPECT_FALSE(list.Row(1).ProgressTip.empty());
  QAbstractItemModel* model = main_->ListView()->model();
  EXPECT_EQ(model->data(model->index(1, 4), Qt::ToolTipRole).toString().toStdString(),
            list.Row(1).ProgressTip);
  EXPECT_EQ(main_->Batch().Summary().Converted, 1);
  EXPECT_EQ(main_->Batch().Summary().Failed, 1);
  EXPECT_TRUE(main_->btnStart->isEnabled());
}

TEST_F(BatchEndTest, ABatchEndingBehindAnotherWindowIsToldThroughTheDesktop) {
  if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) GTEST_SKIP() << "no dbus-daemon";
  TPrivateBus bus;
  ASSERT_TRUE(bus.Start());
  // The user turns to another window while the batch runs.
  QWidget other;
  RunBatch([&] {
    other.show();
    other.activateWindow();
    QApplication::setActiveWindow(&other);
  });
  ASSERT_TRUE(bus.Service());
  std::lock_guard lock(bus.Service()->Mutex);
  ASSERT_EQ(bus.Service()->Bodies.size(), 1);
  EXPECT_EQ(bus.Service()->Bodies[0].toStdString(),
            "2 files converted. They are in " + scratch_.Path() + "out/.");
}

TEST(BatchSummary, SaysWhatBecameOfTheFiles) {
  TBatchSummary s;
  s.Converted = 1;
  s.Folder = "/v";
  EXPECT_EQ(BatchSummaryText(s), "1 file converted. They are in /v.");
  s.Failed = 2;
  s.Stopped = 1;
  EXPECT_EQ(BatchSummaryText(s), "1 file converted, 2 failed, 1 stopped. They are in /v.");
  EXPECT_EQ(BatchSummaryText(TBatchSummary{}), "0 files converted.");
}

#include "test_batch_end.moc"
