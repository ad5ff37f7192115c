#pragma once
// Feeds the audio output from the decoded stream: plays on from a stream frame, loops a range,
// applies the two volume pairs and the volume slide, and pads with silence while the decoder
// has not reached the cursor yet. It remembers which stream frame each output frame came from,
// so the play position follows what the output has actually played.
#include <QtGlobal>
#include <deque>
#include <vector>

namespace kf::music {

// 16-bit interleaved stereo at kSampleRate, as the decoder delivers it.
struct DecodedPcm {
    static constexpr int kSampleRate = 44100;
    std::vector<qint16> samples;
    bool complete = false;  // the decoder has finished (or given up): no more frames come
    qint64 frames() const { return qint64(samples.size() / 2); }
};

struct Volume {
    int left = 100;
    int right = 100;
};

class PlayCursor {
public:
    explicit PlayCursor(const DecodedPcm& pcm) : pcm_(pcm) {}

    // Writes up to `frames` frames to `out`; fewer only at the end of the stream (0 once ended).
    qint64 read(qint16* out, qint64 frames);
    bool ended() const { return ended_; }

    // Next stream frame to read; moving it ends a loop and forgets what the output was given.
    qint64 streamFrame() const { return streamFrame_; }
    void moveTo(qint64 frame);
    // The output restarts at 0: what it was given before is no longer to be played.
    void restartOutput();
    // The stream frame the output is at after playing `played` frames since its (re)start.
    qint64 streamFrameAt(qint64 played);

    // Loops [start, end) `passes` times from start, then goes on (or ends). False for an empty
    // range or no passes.
    bool loop(qint64 start, qint64 end, int passes, bool continueAfter);
    int loopsLeft() const { return loop_.active ? loop_.passesLeft : 0; }

    // Volumes are clamped to 0..100.
    void setPlayerVolume(Volume v);
    Volume playerVolume() const { return player_; }
    void setMasterVolume(Volume v);
    void slide(qint64 startFrame, Volume from, qint64 endFrame, Volume to);

private:
    struct Segment {
        qint64 output = 0;  // first output frame
        qint64 stream = 0;  // stream frame of that output frame
        qint64 frames = 0;
        bool silence = false;  // padding: the stream stays at `stream`
    };
    struct Loop {
        bool active = false;
        qint64 start = 0, end = 0;
        int passesLeft = 0;
        bool continueAfter = false;
    };
    struct Slide {
        bool active = false;
        qint64 start = 0, end = 0;
        Volume from, to;
    };
    bool atLoopEnd() const;
    void record(qint64 frames, bool silence);
    void copyWithGain(const qint16* in, qint16* out, qint64 frames);

    const DecodedPcm& pcm_;
    qint64 streamFrame_ = 0;
    qint64 outputFrames_ = 0;
    bool ended_ = false;
    std::deque<Segment> segments_;
    Loop loop_;
    Slide slide_;
    Volume player_;
    Volume master_;
};

}  // namespace kf::music
