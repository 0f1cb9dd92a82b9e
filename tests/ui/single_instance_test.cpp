// One desktop program at a time: a second start hands its images to the first and ends, or
// says that the first is still starting.
#include "ui/single_instance.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <mutex>

namespace keldrive::ui {

class SingleInstanceTest : public QObject {
  Q_OBJECT

 private:
  static QString TestName() {
    return "keldrive-test-" + QString::number(QCoreApplication::applicationPid()) + "-" +
           QString::number(++count_);
  }
  static inline int count_ = 0;
  QTemporaryDir runtime_;
  QByteArray saved_;

 private slots:
  // The mutexes' lock files go to a folder of the test's own (it sets them elsewhere than
  // Linux) and leave with it.
  void initTestCase() {
    QVERIFY(runtime_.isValid());
    saved_ = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
  }
  void cleanupTestCase() {
    if (saved_.isEmpty()) {
      qunsetenv("XDG_RUNTIME_DIR");
    } else {
      qputenv("XDG_RUNTIME_DIR", saved_);
    }
  }

  void aSecondStartHandsOverOrWaitsForTheFirstWindow_data() {
    QTest::addColumn<bool>("firstHasWindow");
    QTest::addColumn<int>("secondRole");
    QTest::newRow("first shows its window")
        << true << static_cast<int>(SingleInstance::Role::kHandedOver);
    QTest::newRow("first still starting")
        << false << static_cast<int>(SingleInstance::Role::kOtherStarting);
  }
  void aSecondStartHandsOverOrWaitsForTheFirstWindow() {
    QFETCH(bool, firstHasWindow);
    QFETCH(int, secondRole);
    const QString name = TestName();
    // The first copy answers from a thread of its own, as another process would.
    QThread thread;
    auto* first = new SingleInstance(name);
    first->moveToThread(&thread);
    connect(&thread, &QThread::finished, first, &QObject::deleteLater);
    std::mutex lock;
    QStringList handedOver;
    connect(
        first, &SingleInstance::activated, first,
        [&](const QStringList& arguments) {
          std::lock_guard<std::mutex> guard(lock);
          handedOver = arguments;
        },
        Qt::DirectConnection);
    thread.start();
    SingleInstance::Role firstRole{};
    QMetaObject::invokeMethod(
        first,
        [&] {
          firstRole = first->Claim({});
          first->SetReady(firstHasWindow);
        },
        Qt::BlockingQueuedConnection);
    QCOMPARE(firstRole, SingleInstance::Role::kFirst);

    SingleInstance second(name);
    QCOMPARE(static_cast<int>(second.Claim({"/images/a.img"})), secondRole);
    {
      std::lock_guard<std::mutex> guard(lock);
      QCOMPARE(handedOver, firstHasWindow ? QStringList{"/images/a.img"} : QStringList{});
    }
    thread.quit();
    thread.wait();
  }

  void aCopyThatHoldsTheMutexButDoesNotListenYetStillCounts() {
    const QString name = TestName();
    platform::InstanceMutex first;
    QCOMPARE(first.Claim(name.toStdString()), result::kSuccess);
    SingleInstance second(name);
    QCOMPARE(second.Claim({"/images/a.img"}), SingleInstance::Role::kOtherStarting);
  }
};

}  // namespace keldrive::ui

int RunSingleInstanceTests(int argc, char** argv) {
  keldrive::ui::SingleInstanceTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "single_instance_test.moc"
