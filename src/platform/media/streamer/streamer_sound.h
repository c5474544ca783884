// StreamerSound: the sound of the recording a streamer plays, decoded on its own serial queue
// and written to an AudioOutput in step with the streamer's picture clock (the run loop's clock,
// so a test's manual clock drives it too).
//
// While the picture plays, the sound is written up to the clock's "now" (plus the output's lead)
// at every pump and every few hundredths of a second between: as many sample frames as the clock
// moved, so what was written always matches the time played. At 1x and not muted they carry the
// recording's sound from where the picture is; muted, or at any other speed, they are silence.
// Paused, buffering or ended, nothing is written. A recording without a sound track, or with
// one that is refused (audio_decoder.h), writes nothing and plays its pictures as before.
//
// A live view plays its sound the same way from a LiveSoundBuffer, by the camera's clock (a live
// view's item time), from the moment its first sound has arrived.
//
// Main thread only, except the writes, which run on the audio queue.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/media/live/live_sound_buffer.h"
#include "platform/media/recordings/mp4_boxes.h"
#include "platform/media/recordings/recording_source.h"
#include "platform/media/sound/audio_output.h"

namespace dk::platform {

class StreamerSound {
 public:
  using OutputFactory = std::function<AudioOutputPtr()>;
  // `output` is asked for the output when sound is first to be written (empty: the default).
  explicit StreamerSound(OutputFactory output);
  ~StreamerSound();
  StreamerSound(const StreamerSound&) = delete;
  StreamerSound& operator=(const StreamerSound&) = delete;

  // The recording whose sound plays from now on (null: none), with its movie box when the
  // pictures' decoder has read it already. A grown take of the same recording is set again, so
  // that the sound reads its longer index. Item time 0 is `startTime` on the file's own time line
  // (where its first picture is, VideoDecoder::startTime()).
  void setSource(RecordingSourcePtr source, std::shared_ptr<const Mp4Movie> movie = nullptr,
                 std::shared_ptr<const Mp4FragmentIndex> fragmentIndex = nullptr, double startTime = 0);
  // The live stream's sound plays from now on, instead of a recording's (null: none).
  void setLiveSound(std::shared_ptr<LiveSoundBuffer> sound);

  // Playback runs from item time `anchorItem` at clock time `anchorClock` at `rate`, and ends at
  // `duration`: writes what is due up to now, and keeps writing until halt().
  void play(double anchorItem, double anchorClock, float rate, double duration, bool muted);
  // The item turned out longer (more of it has been read): playing goes on to the new end.
  void setDuration(double duration);
  void setMuted(bool muted);
  // Writes what is due up to now (the picture's tick calls it).
  void pump();
  // Playback stopped (paused, buffering, ended, a jump): nothing more is written until play().
  void halt();

  // Waits until every write asked for has reached the output (tests, and a host's last report).
  void finishWrites();
  // Why the current recording or live view plays no sound ("" while it may, or before it is known).
  std::string silenceReason() const;

  struct Feed;

 private:
  bool askOutput();

  OutputFactory factory_;
  AudioOutputPtr output_;
  bool outputAsked_ = false;
  std::shared_ptr<Feed> feed_;
  std::shared_ptr<struct SoundRun> run_;
};

}  // namespace dk::platform
