#pragma once

#include <QMediaPlayer>
#include <QString>
#include <QWidget>

class QAudioOutput;
class QLabel;
class QPushButton;
class QVideoWidget;

namespace keldrive::ui {

// Picks Qt Multimedia's FFmpeg backend unless QT_MEDIA_BACKEND says otherwise: Debian's
// default, GStreamer, fails (or crashes) without plugin packages we do not want to need.
// Call before the application object is made.
void PreferFfmpegMediaBackend();

// Plays audio or video in the window with Qt Multimedia, from the temporary file (media
// are never previewed from memory). A file the player cannot read shows `failure`.
class MediaView : public QWidget {
  Q_OBJECT

 public:
  MediaView(const QString& path, bool video, const QString& failure, QWidget* parent = nullptr);
  ~MediaView() override;

  QMediaPlayer& Player() { return *player_; }
  // Whether the failure text is shown.
  bool Failed() const;

 private:
  void OnStatus(QMediaPlayer::MediaStatus status);

  QMediaPlayer* player_;
  QAudioOutput* audio_;
  QVideoWidget* video_ = nullptr;
  QPushButton* play_;
  QLabel* status_;
  QString failure_;
};

}  // namespace keldrive::ui
