#pragma once

#include <QObject>
#include <QTimer>
#include <string>

namespace keldrive::ui {

// Tells when a disk or partition arrives or leaves, by comparing the machine's list of
// block devices every two seconds (a cheap read of names and sizes).
class DeviceWatcher : public QObject {
  Q_OBJECT

 public:
  explicit DeviceWatcher(QObject* parent = nullptr);

 signals:
  void devicesChanged();

 private:
  void Check();

  QTimer timer_;
  std::string signature_;
};

}  // namespace keldrive::ui
