#include "ui/device_watcher.h"

#include "platform/device_watch.h"

namespace keldrive::ui {

DeviceWatcher::DeviceWatcher(QObject* parent)
    : QObject(parent), signature_(platform::BlockDeviceSignature()) {
  connect(&timer_, &QTimer::timeout, this, &DeviceWatcher::Check);
  timer_.start(2000);
}

void DeviceWatcher::Check() {
  std::string now = platform::BlockDeviceSignature();
  if (now == signature_) return;
  signature_ = std::move(now);
  emit devicesChanged();
}

}  // namespace keldrive::ui
