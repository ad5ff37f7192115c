#include "music/play_cursor.h"

#include <algorithm>
#include <cstring>

namespace kf::music {

namespace {
// Volume changes are applied in steps of this many frames (10 ms), so a slide is smooth.
constexpr qint64 kGainStep = 441;
// Segments kept for position look-ups; the output holds far fewer reads than this.
constexpr size_t kMaxSegments = 1024;

int clampVolume(int v) {
    return std::clamp(v, 0, 100);
}
}  // namespace

void PlayCursor::moveTo(qint64 frame) {
    streamFrame_ = std::max<qint64>(0, frame);
    if (pcm_.complete) {
        streamFrame_ = std::min(streamFrame_, pcm_.frames());
    }
    loop_ = Loop{};
    ended_ = false;
    restartOutput();
}

void PlayCursor::restartOutput() {
    outputFrames_ = 0;
    segments_.clear();
}

bool PlayCursor::loop(qint64 start, qint64 end, int passes, bool continueAfter) {
    if (start < 0 || end <= start || passes < 1) {
        return false;
    }
    moveTo(start);
    loop_ = Loop{true, start, end, passes, continueAfter};
    return true;
}

void PlayCursor::setPlayerVolume(Volume v) {
    player_ = {clampVolume(v.left), clampVolume(v.right)};
}

void PlayCursor::setMasterVolume(Volume v) {
    master_ = {clampVolume(v.left), clampVolume(v.right)};
}

void PlayCursor::slide(qint64 startFrame, Volume from, qint64 endFrame, Volume to) {
    from = {clampVolume(from.left), clampVolume(from.right)};
    to = {clampVolume(to.left), clampVolume(to.right)};
    if (endFrame <= startFrame) {
        player_ = to;
        slide_ = Slide{};
        return;
    }
    slide_ = Slide{true, startFrame, endFrame, from, to};
}

bool PlayCursor::atLoopEnd() const {
    return loop_.active && (streamFrame_ >= loop_.end || (pcm_.complete && streamFrame_ >= pcm_.frames()));
}

qint64 PlayCursor::read(qint16* out, qint64 frames) {
    qint64 written = 0;
    while (written < frames && !ended_) {
        if (atLoopEnd()) {
            if (--loop_.passesLeft > 0) {
                streamFrame_ = loop_.start;
            } else {
                loop_.active = false;
                ended_ = !loop_.continueAfter;
                continue;
            }
        }
        const qint64 available = pcm_.frames() - streamFrame_;
        if (available <= 0) {
            if (pcm_.complete) {
                ended_ = true;
                break;
            }
            // The decoder is behind the cursor: silence now, the stream waits.
            std::memset(out + 2 * written, 0, size_t(frames - written) * 2 * sizeof(qint16));
            record(frames - written, true);
            written = frames;
            break;
        }
        qint64 n = std::min(frames - written, available);
        if (loop_.active) {
            n = std::min(n, loop_.end - streamFrame_);
        }
        copyWithGain(pcm_.samples.data() + 2 * streamFrame_, out + 2 * written, n);
        record(n, false);
        streamFrame_ += n;
        written += n;
    }
    return written;
}

void PlayCursor::record(qint64 frames, bool silence) {
    if (segments_.size() >= kMaxSegments) {
        segments_.pop_front();
    }
    segments_.push_back(Segment{outputFrames_, streamFrame_, frames, silence});
    outputFrames_ += frames;
}

qint64 PlayCursor::streamFrameAt(qint64 played) {
    // Segments that the output has played past are of no more use, but the last one stays.
    while (segments_.size() > 1 && segments_.front().output + segments_.front().frames <= played) {
        segments_.pop_front();
    }
    if (segments_.empty()) {
        return streamFrame_;
    }
    const Segment& s = segments_.front();
    const qint64 into = std::clamp<qint64>(played - s.output, 0, s.frames);
    return s.silence ? s.stream : s.stream + into;
}

void PlayCursor::copyWithGain(const qint16* in, qint16* out, qint64 frames) {
    for (qint64 done = 0; done < frames;) {
        const qint64 at = streamFrame_ + done;
        if (slide_.active) {
            if (at >= slide_.end) {
                player_ = slide_.to;
                slide_.active = false;
            } else if (at >= slide_.start) {
                const double t = double(at - slide_.start) / double(slide_.end - slide_.start);
                player_.left = int(slide_.from.left + t * (slide_.to.left - slide_.from.left));
                player_.right = int(slide_.from.right + t * (slide_.to.right - slide_.from.right));
            }
        }
        const float gainLeft = player_.left * master_.left / 10000.0f;
        const float gainRight = player_.right * master_.right / 10000.0f;
        const qint64 n = std::min(kGainStep, frames - done);
        for (qint64 i = done; i < done + n; ++i) {
            out[2 * i] = qint16(in[2 * i] * gainLeft);
            out[2 * i + 1] = qint16(in[2 * i + 1] * gainRight);
        }
        done += n;
    }
}

}  // namespace kf::music
