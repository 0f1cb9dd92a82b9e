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
    : QObject(parent),
      name_(std::move(name)),
      // Per user: a socket of one user's copy cannot take another user's arguments.
      socketName_(name_ + "-" + QDir::home().dirName()),
      server_(new QLocalServer(this)) {
  connect(server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

QString SingleInstance::DefaultName() {
  return "Keldrive_2019_For_Windows";
}

SingleInstance::Role SingleInstance::Claim(const QStringList& arguments) {
  const ResultCode claim = mutex_.Claim(name_.toStdString());
  // Another copy holds the mutex, or it cannot be told (no runtime folder): whoever answers
  // on the socket is the first copy.
  if (claim != result::kSuccess) {
    QLocalSocket socket;
    socket.connectToServer(socketName_);
    if (socket.waitForConnected(kWaitMs)) return HandOver(socket, arguments);
    // The first copy holds the mutex but does not listen yet.
    if (claim == result::kAlreadyExists) return Role::kOtherStarting;
  }
  // No other copy runs: a socket left by one that crashed is taken over.
  QLocalServer::removeServer(socketName_);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  server_->listen(socketName_);
  return Role::kFirst;
}

SingleInstance::Role SingleInstance::HandOver(QLocalSocket& socket, const QStringList& arguments) {
  QByteArray payload;
  QDataStream stream(&payload, QIODevice::WriteOnly);
  stream << arguments;
  socket.write(payload);
  socket.flush();
  char answer = kTaken;
  if (socket.waitForReadyRead(kWaitMs)) socket.getChar(&answer);
  return answer == kStarting ? Role::kOtherStarting : Role::kHandedOver;
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
