#include "ui/single_instance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalSocket>

namespace keldrive::ui {
namespace {

constexpr int kWaitMs = 2000;
constexpr char kStarting = 'S';
constexpr char kTaken = 'T';

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)), server_(new QLocalServer(this)) {
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

QString SingleInstance::DefaultName() {
  // Per user: each person on the machine has a program of their own.
  return "Keldrive_2019_For_Windows-" + QDir::home().dirName();
}

SingleInstance::Role SingleInstance::Claim(const QStringList& arguments) {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (socket.waitForConnected(kWaitMs)) {
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream << arguments;
    socket.write(payload);
    socket.flush();
    char answer = kTaken;
    if (socket.waitForReadyRead(kWaitMs)) socket.getChar(&answer);
    return answer == kStarting ? Role::kOtherStarting : Role::kHandedOver;
  }
  // Nobody answers: a socket left by a copy that crashed is taken over.
  QLocalServer::removeServer(name_);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  server_->listen(name_);
  return Role::kFirst;
}

void SingleInstance::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      QStringList arguments;
      QDataStream stream(socket->readAll());
      stream >> arguments;
      // The window is brought forward before the other copy hears that it may end.
      if (ready_) emit activated(arguments);
      socket->putChar(ready_ ? kTaken : kStarting);
      socket->flush();
    });
  }
}

}  // namespace keldrive::ui
