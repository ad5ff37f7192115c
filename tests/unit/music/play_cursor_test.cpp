// What the output is fed: loop passes with and without going on, silence while the decoder is
// behind, the stream position behind what was played, and the volumes with their slide.
#include <gtest/gtest.h>
#include <vector>

#include "music/play_cursor.h"

using namespace kf::music;

namespace {

DecodedPcm counting(int frames, bool complete = true) {
    DecodedPcm pcm;
    for (int i = 0; i < frames; ++i) {
        pcm.samples.push_back(qint16(i * 100));
        pcm.samples.push_back(qint16(-i * 100));
    }
    pcm.complete = complete;
    return pcm;
}

// The left samples read, as frame numbers.
std::vector<int> readAll(PlayCursor& cursor, int frames) {
    std::vector<qint16> out(size_t(frames) * 2);
    const qint64 got = cursor.read(out.data(), frames);
    std::vector<int> left;
    for (qint64 i = 0; i < got; ++i) {
        left.push_back(out[size_t(2 * i)] / 100);
    }
    return left;
}

TEST(PlayCursor, LoopsThenGoesOnOrEnds) {
    const DecodedPcm pcm = counting(8);
    struct Case {
        qint64 start, end;
        int passes;
        bool continueAfter;
        std::vector<int> frames;
    } cases[] = {
        {2, 4, 3, true, {2, 3, 2, 3, 2, 3, 4, 5, 6, 7}},
        {2, 4, 2, false, {2, 3, 2, 3}},
        {5, 100, 2, false, {5, 6, 7, 5, 6, 7}},  // a range past the end loops at the end
    };
    for (const Case& c : cases) {
        PlayCursor cursor(pcm);
        ASSERT_TRUE(cursor.loop(c.start, c.end, c.passes, c.continueAfter));
        EXPECT_EQ(readAll(cursor, 20), c.frames);
        EXPECT_TRUE(cursor.ended());
        EXPECT_EQ(readAll(cursor, 4), std::vector<int>{});
    }
    PlayCursor cursor(pcm);
    EXPECT_FALSE(cursor.loop(3, 3, 1, true));
    EXPECT_FALSE(cursor.loop(0, 3, 0, true));
}

TEST(PlayCursor, PositionFollowsWhatWasPlayedThroughLoopsAndSilence) {
    DecodedPcm pcm = counting(6, false);
    PlayCursor cursor(pcm);
    cursor.loop(1, 3, 2, true);
    // Output: 1 2 1 2 3 4 5, then silence while the decoder is behind.
    EXPECT_EQ(readAll(cursor, 9), (std::vector<int>{1, 2, 1, 2, 3, 4, 5, 0, 0}));
    EXPECT_FALSE(cursor.ended());
    for (auto [played, stream] : std::vector<std::pair<int, int>>{{0, 1}, {3, 2}, {5, 4}, {7, 6}, {8, 6}}) {
        EXPECT_EQ(cursor.streamFrameAt(played), stream) << played;
    }
    pcm = counting(8);  // the decoder catches up and finishes
    EXPECT_EQ(readAll(cursor, 4), (std::vector<int>{6, 7}));
    cursor.moveTo(3);
    EXPECT_EQ(cursor.streamFrameAt(0), 3);
}

TEST(PlayCursor, VolumesMultiplyAndSlideMovesThePlayerVolume) {
    DecodedPcm pcm;
    pcm.samples.assign(2 * 2000, 10000);
    pcm.complete = true;
    PlayCursor cursor(pcm);
    cursor.setPlayerVolume({50, 150});  // 150 is taken as 100
    cursor.setMasterVolume({50, 100});
    std::vector<qint16> out(4);
    cursor.read(out.data(), 2);
    EXPECT_EQ(out[0], 2500);
    EXPECT_EQ(out[1], 10000);

    cursor.setMasterVolume({100, 100});
    cursor.slide(2, {20, 20}, 1002, {80, 80});
    out.resize(2 * 1998);
    cursor.read(out.data(), 1998);
    EXPECT_EQ(out[0], 2000);
    EXPECT_NEAR(out[2 * 500], 5000, 500);
    EXPECT_EQ(out.back(), 8000);
    EXPECT_EQ(cursor.playerVolume().left, 80);
}

}  // namespace
