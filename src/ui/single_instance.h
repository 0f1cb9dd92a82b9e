#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/instance_mutex.h"

namespace keldrive::ui {

// One desktop program at a time. The first copy holds the instance mutex NAME and listens on
// a local socket named for NAME and the user; a later copy finds the mutex taken and hands
// its image arguments through the socket, which brings the first copy's window forward (and
// adds the images), and ends.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Role {
    kFirst,         // no other copy runs: go on starting
    kHandedOver,    // another copy took the arguments: end
    kOtherStarting  // another copy runs but has no window yet: say so and end
  };

  explicit SingleInstance(QString name, QObject* parent = nullptr);

  // Claims the name or hands `arguments` (image paths) to the copy holding it.
  Role Claim(const QStringList& arguments);

  // Set by the first copy once its main window exists; until then others are told it is
  // still starting.
  void SetReady(bool ready) { ready_ = ready; }

  static QString DefaultName();

 signals:
  // Another copy was started with these arguments.
  void activated(const QStringList& arguments);

 private:
  Role HandOver(QLocalSocket& socket, const QStringList& arguments);
  void OnConnection();

  QString name_;
  QString socketName_;
  platform::InstanceMutex mutex_;
  QLocalServer* server_;  // a child, so that the object can move to another thread whole
  bool ready_ = false;
};

}  // namespace keldrive::ui
