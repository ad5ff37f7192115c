#pragma once
// The music player behind AudioData: opens a file (detecting its format), plays, loops, seeks,
// pauses and resumes it, keeps two volume pairs and a volume slide, reports its position and
// state, reads the file's tags and computes the spectrum of the samples at the play position.
// StreamPlayer is the real one (Qt Multimedia decoding and output, kissfft, TagLib);
// MemoryPlayer is the in-memory one tests drive.
#include <QString>
#include <QtGlobal>
#include <array>
#include <memory>

namespace kf::music {

// A time in milliseconds with the clock parts shown to people. Minutes are whole minutes, not
// wrapped at the hour, so 62 minutes read "62:03" rather than "02:03".
struct PlayTime {
    qint64 ms = 0;
    int minutes() const { return int(ms / 60000); }
    int seconds() const { return int(ms / 1000 % 60); }
    int milliseconds() const { return int(ms % 1000); }
};

// The stream's properties; zero while unknown.
struct StreamInfo {
    int sampleRate = 0;
    int channels = 0;
    int bitrate = 0;  // kbit/s
    PlayTime length;
};

struct PlayerStatus {
    bool playing = false;  // true while sound is being played (not when paused, stopped or ended)
    bool paused = false;
    int loopsLeft = 0;  // passes of a playLoop range still to play
};

// The file's tag fields, in the order the page reads them.
struct TagRecord {
    QString title, artist, album, year, comment, trackNumber, genre, albumArtist, composer, originalArtist,
        copyright, url, encoder, publisher;
};

enum class StreamFormat { Unknown = 0, Mp3 = 1, Ogg = 2, Wav = 3, Flac = 4, Detect = 1000 };
enum class TimeFormat { Milliseconds = 1, Seconds = 2 };
enum class SeekMethod { FromBeginning = 1, Forward = 2, Backward = 4 };
enum class FftWindow { Rectangular = 0, Hann = 7 };

// Settings: the spectrum's amplitude scale and whether the two channels are analysed apart.
enum class Setting { SpectrumScale = 2, SpectrumChannels = 4 };
enum class SpectrumScale { Linear = 1, Decibel = 2 };
enum class SpectrumChannels { Apart = 1, Mixed = 2 };
// Queries: the spectrum's point count.
enum class Query { SpectrumPoints = 1 };

// Amplitudes of one channel: bins 0 (DC) to 256 (half the sample rate) of a 512-point transform.
// Each is 0..kSpectrumTop; a full-scale sine centred on a bin reads kSpectrumTop there.
constexpr int kSpectrumPoints = 512;
constexpr int kSpectrumBins = kSpectrumPoints / 2 + 1;
constexpr int kSpectrumTop = 100;
using SpectrumBins = std::array<int, kSpectrumBins>;

class Player {
public:
    virtual ~Player() = default;

    // What went wrong last, for the log.
    virtual QString errorText() const = 0;
    // Stops and forgets the current stream, then opens `path`: false (with the error text) when
    // the file cannot be read or is of no known (or of another than the given) format.
    virtual bool openFile(const QString& path, StreamFormat format) = 0;
    virtual StreamInfo streamInfo() const = 0;
    // Plays from the current position (the start after open, stop or the end).
    virtual bool play() = 0;
    // Plays [start, end) `cycles` times from `start`, then goes on after `end` or stops.
    virtual bool playLoop(TimeFormat format, qint64 start, qint64 end, int cycles, bool continueAfter) = 0;
    virtual bool seek(TimeFormat format, qint64 time, SeekMethod method) = 0;
    virtual bool stop() = 0;
    virtual bool pause() = 0;
    virtual bool resume() = 0;
    virtual PlayTime position() const = 0;
    // Volumes are 0..100 per channel; out-of-range values are clamped. Both pairs multiply.
    virtual bool setMasterVolume(int left, int right) = 0;
    virtual bool setPlayerVolume(int left, int right) = 0;
    virtual void playerVolume(int* left, int* right) const = 0;
    virtual PlayerStatus status() const = 0;
    // Moves the player volume from the start volumes at `startTime` to the end volumes at
    // `endTime` (stream times), leaving it at the end volumes.
    virtual bool slideVolume(TimeFormat format, qint64 startTime, int startLeft, int startRight,
                             qint64 endTime, int endLeft, int endRight) = 0;
    // Amplitudes at the play position from `points` samples per channel (even, 2..512; more is
    // taken as 512, the most the bins hold). Bins past points / 2 are 0. False without sound.
    virtual bool spectrum(int points, FftWindow window, SpectrumBins* left, SpectrumBins* right) = 0;
    virtual bool setSetting(Setting setting, int value) = 0;
    virtual int query(Query what) const = 0;
    virtual bool loadTags(TagRecord* tags) = 0;
};

// The real player, with the audio output chosen by the environment (see createAudioSink).
std::unique_ptr<Player> createPlayer();

}  // namespace kf::music
