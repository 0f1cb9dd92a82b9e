#include "ui/preview/media_view.h"

#include <QAudioOutput>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

namespace keldrive::ui {

void PreferFfmpegMediaBackend() {
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

MediaView::MediaView(const QString& path, bool video, const QString& failure, QWidget* parent)
    : QWidget(parent), failure_(failure) {
  setObjectName("PreviewMedia");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  player_ = new QMediaPlayer(this);
  audio_ = new QAudioOutput(this);
  player_->setAudioOutput(audio_);
  if (video) {
    video_ = new QVideoWidget(this);
    player_->setVideoOutput(video_);
    layout->addWidget(video_, 1);
  } else {
    layout->addStretch(1);
  }
  status_ = new QLabel(this);
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
  layout->addWidget(status_);
  play_ = new QPushButton("Play", this);
  play_->setObjectName("PreviewPlay");
  play_->setEnabled(false);
  layout->addWidget(play_, 0, Qt::AlignHCenter);
  if (!video) layout->addStretch(1);
  connect(play_, &QPushButton::clicked, this, [this] {
    if (player_->playbackState() == QMediaPlayer::PlayingState) {
      player_->pause();
    } else {
      player_->play();
    }
  });
  connect(player_, &QMediaPlayer::playbackStateChanged, this,
          [this](QMediaPlayer::PlaybackState state) {
            play_->setText(state == QMediaPlayer::PlayingState ? "Pause" : "Play");
          });
  connect(player_, &QMediaPlayer::mediaStatusChanged, this, &MediaView::OnStatus);
  connect(player_, &QMediaPlayer::errorOccurred, this,
          [this](QMediaPlayer::Error, const QString&) { OnStatus(QMediaPlayer::InvalidMedia); });
  player_->setSource(QUrl::fromLocalFile(path));
}

MediaView::~MediaView() {
  // The temporary file is removed right after: let the player let go of it first.
  player_->stop();
  player_->setSource(QUrl());
}

bool MediaView::Failed() const {
  return status_->text() == failure_;
}

void MediaView::OnStatus(QMediaPlayer::MediaStatus status) {
  if (status == QMediaPlayer::InvalidMedia) {
    status_->setText(failure_);
    play_->setEnabled(false);
    return;
  }
  if (status == QMediaPlayer::LoadedMedia) {
    const qint64 seconds = player_->duration() / 1000;
    status_->setText(QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0')));
    play_->setEnabled(true);
  }
}

}  // namespace keldrive::ui
