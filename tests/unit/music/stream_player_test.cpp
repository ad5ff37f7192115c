// The real player on generated files with an output that plays on the test's clock: the
// spectrum of a sine, playing to the end, the controls, the four formats, files that cannot be
// played, and a machine without a sound card.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QAudioDeviceInfo>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "music_helpers.h"
#include "platform/audio/qt_audio_sink.h"
#include "support/log_capture.h"
#include "support/qt_wait.h"

using namespace kf::music;

namespace {

class StreamPlayerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    kftest::ClockedPlayer clocked;
    StreamPlayer& player = *clocked.player;
    QString path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(StreamPlayerTest, SineOnTheLeftPeaksInItsBinAndTheRightStaysSilent) {
    kftest::writeSineWav(path("sine.wav"), 3, 1000);
    ASSERT_TRUE(clocked.openDecoded(path("sine.wav")));
    EXPECT_EQ(player.streamInfo().length.ms, 3000);
    ASSERT_TRUE(player.play());
    clocked.playUntil(1000);
    EXPECT_EQ(player.position().ms, 1000);
    SpectrumBins left{}, right{};
    ASSERT_TRUE(player.spectrum(player.query(Query::SpectrumPoints), FftWindow::Hann, &left, &right));
    // 1000 Hz at 44100 / 512 Hz a bin: bin 11.6, so the peak is bin 12.
    EXPECT_EQ(std::max_element(left.begin(), left.end()) - left.begin(), 12);
    EXPECT_GT(left[12], 80);
    EXPECT_EQ(*std::max_element(right.begin(), right.end()), 0);

    clocked.playUntil(3100);  // past the end
    EXPECT_FALSE(player.status().playing);
    EXPECT_EQ(player.position().ms, 3000);
    EXPECT_FALSE(player.spectrum(512, FftWindow::Hann, &left, &right));
}

TEST_F(StreamPlayerTest, PauseResumeSeekAndLoopMoveThePosition) {
    kftest::writeSineWav(path("sine.wav"), 4, 440);
    ASSERT_TRUE(clocked.openDecoded(path("sine.wav")));
    player.play();
    clocked.playUntil(1000);
    player.pause();
    clocked.playUntil(2000);
    EXPECT_EQ(player.position().ms, 1000);
    EXPECT_TRUE(player.status().paused);
    player.resume();
    clocked.playUntil(2500);
    EXPECT_EQ(player.position().ms, 1500);
    player.seek(TimeFormat::Milliseconds, 3000, SeekMethod::FromBeginning);
    EXPECT_EQ(player.position().ms, 3000);
    clocked.playUntil(3000);
    player.playLoop(TimeFormat::Milliseconds, 0, 500, 3, true);
    clocked.playUntil(3700);  // 700 ms into the loop: the second pass, 200 ms in
    EXPECT_EQ(player.position().ms, 200);
    EXPECT_EQ(player.status().loopsLeft, 2);
    player.stop();
    EXPECT_EQ(player.position().ms, 0);
    EXPECT_FALSE(player.status().playing);
}

TEST_F(StreamPlayerTest, WavMp3FlacOggAndOpusOpenByContentAndPlay) {
    kftest::writeSineWav(path("source.wav"), 1, 1000);
    const struct {
        const char* name;
        const char* encoder;
    } formats[] = {
        {"wav", nullptr},
        {"mp3", "lamemp3enc"},
        {"flac", "flacenc"},
        {"ogg", "vorbisenc ! oggmux"},
        {"opus", "audioresample ! opusenc ! oggmux"},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        // Named .bin: the format comes from the content.
        const QString file = path(QStringLiteral("%1.bin").arg(f.name));
        ASSERT_TRUE(f.encoder ? kftest::encodeWav(path("source.wav"), file, f.encoder)
                              : QFile::copy(path("source.wav"), file));
        ASSERT_TRUE(clocked.openDecoded(file)) << player.errorText().toStdString();
        EXPECT_NEAR(player.streamInfo().length.ms, 1000, 60);
        ASSERT_TRUE(player.play());
        clocked.playUntil(*clocked.now + 500);
        EXPECT_TRUE(player.status().playing);
        player.stop();
    }
}

TEST_F(StreamPlayerTest, FilesThatCannotBePlayedLeaveThePlayerStopped) {
    kftest::LogCapture log;
    QDir(dir.path()).mkdir("folder");
    mkfifo(QFile::encodeName(path("pipe")).constData(), 0600);
    const struct {
        const char* name;
        QByteArray content;  // empty: not written
    } files[] = {{"missing.wav", {}},
                 {"folder", {}},
                 {"pipe", {}},
                 {"text.mp3", "just some text"},
                 {"broken.mp3", QByteArray("ID3\x04\0\0\0\0\0\0", 10) + QByteArray(4000, '\x55')},
                 {"broken.flac", "fLaC" + QByteArray(4000, '\x55')}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        if (!f.content.isEmpty()) {
            QFile out(path(f.name));
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(f.content);
        }
        if (player.openFile(path(f.name), StreamFormat::Detect)) {
            ASSERT_TRUE(kftest::waitFor([&] { return player.decoded(); }));
            player.play();
            clocked.playUntil(*clocked.now + 200);
        }
        EXPECT_FALSE(player.status().playing);
        EXPECT_FALSE(player.errorText().isEmpty());
    }
    EXPECT_TRUE(log.lines().join('\n').contains("cannot decode")) << log.lines().join('\n').toStdString();
}

TEST(PcmDecoderMemory, RoomGrowsWithTheDataNotWithTheLengthAHeaderClaims) {
    QTemporaryDir dir;
    const QString file = dir.filePath("short.wav");
    kftest::writeSineWav(file, 0.5, 440);
    constexpr size_t kTenSeconds = 10 * 44100 * 2;  // samples
    for (const qint64 claimed : {qint64(0), qint64(22050), PcmDecoder::kMaxFrames}) {
        SCOPED_TRACE(claimed);
        DecodedPcm pcm;
        PcmDecoder decoder(pcm);
        decoder.start(file, claimed);
        EXPECT_LE(pcm.samples.capacity(), kTenSeconds);  // 30 minutes claimed: not 317 MB at once
        ASSERT_TRUE(kftest::waitFor([&] { return pcm.complete; }, 20000));
        EXPECT_EQ(pcm.frames(), 22050);
    }
}

TEST(StreamPlayerOutput, WithoutASoundCardNothingPlays) {
    kftest::LogCapture log;  // the sound server's absence is reported by Qt itself
    if (!QAudioDeviceInfo::defaultOutputDevice().isNull()) {
        GTEST_SKIP() << "this machine has an audio output device";
    }
    QTemporaryDir dir;
    kftest::writeSineWav(dir.filePath("sine.wav"), 1, 1000);
    StreamPlayer player(std::make_unique<kf::platform::QtAudioSink>());
    ASSERT_TRUE(player.openFile(dir.filePath("sine.wav"), StreamFormat::Detect));
    EXPECT_FALSE(player.play());
    EXPECT_FALSE(player.status().playing);
    EXPECT_TRUE(player.errorText().contains("no audio output device"));
}

}  // namespace
