// The visualiser over the in-memory player: the spectrum message and its script, the tick
// counter after the music ends, what each page operation asks of the player, and the music
// information; then the information of a file tagged with TagLib through the real player.
#include <gtest/gtest.h>
#include <infotag.h>
#include <tpropertymap.h>
#include <wavfile.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>
#include <functional>

#include "music/audio_data.h"
#include "music/indented_json.h"
#include "music/memory_player.h"
#include "music_helpers.h"
#include "support/log_capture.h"

using kf::music::MemoryPlayer;

namespace {

class AudioDataTest : public ::testing::Test {
protected:
    MemoryPlayer* player = new MemoryPlayer;
    AudioData audio{std::unique_ptr<kf::music::Player>(player)};
    QStringList scripts;
    void SetUp() override {
        audio.setScriptSink([this](const QString& script) { scripts << script; });
    }
    // The message inside the last script.
    QString lastMessage() const {
        const QString s = scripts.value(scripts.size() - 1);
        return s.mid(16, s.size() - 17);
    }
};

TEST_F(AudioDataTest, EachTickWhilePlayingSendsTheSpectrumMessage) {
    EXPECT_EQ(player->calls, (QStringList{"setSetting|2|2", "setSetting|4|1"}));
    player->leftBins[12] = 97;
    player->rightBins[256] = 3;
    player->state.playing = true;
    player->at.ms = 187000;  // 3 min 7 s
    audio.refreshDatas();
    ASSERT_EQ(scripts.size(), 1);
    EXPECT_TRUE(scripts[0].startsWith("VisualizeMusice({\n    \"LeftChannel\": [\n        0,\n"));
    EXPECT_TRUE(scripts[0].endsWith("}\n)"));
    const QString message = lastMessage();
    const QJsonObject object = QJsonDocument::fromJson(message.toUtf8()).object();
    EXPECT_EQ(object["CurTime"], "03:07");
    EXPECT_EQ(object["Position"], 187000);
    EXPECT_EQ(object["SeekTime"], "0");
    EXPECT_EQ(object["Rotate"], "1");
    EXPECT_EQ(object["LeftChannel"].toArray().size(), 257);
    EXPECT_EQ(object["LeftChannel"].toArray()[12], 97);
    EXPECT_EQ(object["RightChannel"].toArray()[256], 3);
    EXPECT_TRUE(message.contains(QRegularExpression(
        R"("LeftChannel"[^"]*"RightChannel"[^"]*"CurTime".*"Position".*"SeekTime".*"Rotate")",
        QRegularExpression::DotMatchesEverythingOption)));
    EXPECT_EQ(AudioData::clockText({62 * 60000 + 3000}), "62:03");
}

TEST_F(AudioDataTest, AfterTheEndTheTimerStopsAndTicksCountOnByTheClock) {
    qint64 now = 1000;
    audio.setClock([&now] { return now; });
    audio.PlayMusic();
    EXPECT_TRUE(audio.timerRunning());
    audio.refreshDatas();
    player->state.playing = false;  // the music ended
    audio.refreshDatas();
    EXPECT_FALSE(audio.timerRunning());  // nothing wakes the GUI thread every 60 ms for nothing
    EXPECT_EQ(scripts.size(), 1);
    now += 10 * 60 + 30;
    EXPECT_EQ(audio.rotate(), 12);  // the ticks a running timer would have counted
    // A loop started after the end is refreshed again, and the count goes on from there.
    player->state.playing = true;
    audio.PlayLoopMusic();
    EXPECT_TRUE(audio.timerRunning());
    audio.refreshDatas();
    EXPECT_EQ(scripts.size(), 2);
    EXPECT_TRUE(lastMessage().contains("\"Rotate\": \"13\""));
    // After the end again, a pause stops the count.
    player->state.playing = false;
    audio.refreshDatas();
    now += 600;
    audio.pauseMusic();
    now += 6000;
    EXPECT_FALSE(audio.timerRunning());
    EXPECT_EQ(audio.rotate(), 24);
}

TEST_F(AudioDataTest, OperationsAskThePlayer) {
    player->calls.clear();
    player->at.ms = 7500;
    player->points = 4096;  // more than the bins hold
    player->state.playing = true;
    const std::pair<std::function<void()>, QStringList> cases[] = {
        {[&] { audio.ResumeMusic(); }, {"setPlayerVolume|0|0", "slideVolume|2|7|20|20|12|80|80", "resume"}},
        {[&] { audio.PlayLoopMusic(); }, {"playLoop|1|0|5000|100|1"}},
        {[&] { audio.seekPosition(1500); }, {"seek|1|1500|1"}},
        {[&] { audio.SetMute("0", " 1"); }, {"setMasterVolume|0|1"}},
        {[&] { audio.SetPlayerVolume("80", "loud"); }, {"setPlayerVolume|80|0"}},
        {[&] { audio.refreshDatas(); }, {"spectrum|512|7"}},
        {[&] { audio.stopMusic(); }, {"stop"}},
    };
    for (const auto& [operation, calls] : cases) {
        player->calls.clear();
        operation();
        EXPECT_EQ(player->calls, calls);
    }
    kftest::LogCapture log;
    player->unreadable.insert("/nowhere.mp3");
    audio.SetSource("/nowhere.mp3");
    EXPECT_EQ(log.lines().join('\n'), "file open failed cannot open");
}

TEST_F(AudioDataTest, MusicInformationSetsTheSeekTimeToTheLengthInMilliseconds) {
    player->info.length.ms = 187250;
    player->tags.title = "T";
    player->volumeLeft = 80;
    const QJsonObject info = QJsonDocument::fromJson(audio.musicInfo().toUtf8()).object();
    EXPECT_EQ(info["Time"], "03:07");
    EXPECT_EQ(info["LeftVolume"], "80");
    EXPECT_EQ(info["Title"], "T");
    EXPECT_EQ(audio.seekTime(), 187250);
}

TEST(IndentedJson, MatchesQtsIndentedFormWhenKeysAreInQtsOrder) {
    const QString tricky = QString::fromUtf8("a\"b\\c\nd\te\x01 é 音");
    kf::music::IndentedJsonObject ours;
    ours.addNumbers("A", std::array<int, 3>{1, -2, 3}.data(), 3);
    ours.addNumber("B", 187000);
    ours.addText("C", tricky);
    const QJsonObject qt{{"A", QJsonArray{1, -2, 3}}, {"B", 187000}, {"C", tricky}};
    EXPECT_EQ(ours.text(), QString::fromUtf8(QJsonDocument(qt).toJson(QJsonDocument::Indented)));
    EXPECT_EQ(kf::music::IndentedJsonObject().text(), "{\n}\n");
}

TEST(AudioDataFile, TagsWrittenWithTagLibComeBackInOrder) {
    QTemporaryDir dir;
    const QString file = dir.filePath("tagged.wav");
    kftest::writeSineWav(file, 2.5, 440);
    {
        TagLib::RIFF::WAV::File wav(QFile::encodeName(file).constData());
        TagLib::PropertyMap tags;
        const char* values[][2] = {
            {"TITLE", "Title 音"},    {"ARTIST", "Artist"},   {"ALBUM", "Album"},
            {"DATE", "2024"},         {"COMMENT", "Comment"}, {"TRACKNUMBER", "7"},
            {"GENRE", "Genre"},       {"ALBUMARTIST", "AA"},  {"COMPOSER", "Composer"},
            {"ORIGINALARTIST", "OA"}, {"COPYRIGHT", "(c)"},   {"URL", "https://x.test"},
            {"ENCODEDBY", "Enc"},     {"LABEL", "Pub"}};
        for (const auto& v : values) {
            tags.insert(v[0], TagLib::String(v[1], TagLib::String::UTF8));
        }
        wav.setProperties(tags);
        ASSERT_TRUE(wav.save());
    }
    kftest::ClockedPlayer clocked;
    AudioData audio(std::move(clocked.player));
    audio.SetSource(file);
    EXPECT_EQ(audio.musicInfo(), QString::fromUtf8(R"json({
    "Title": "Title 音",
    "Artist": "Artist",
    "Album": "Album",
    "Year": "2024",
    "Comment": "Comment",
    "TrackNum": "7",
    "Genre": "Genre",
    "AlbumArtist": "AA",
    "Composer": "Composer",
    "OriginalArtist": "OA",
    "Copyright": "(c)",
    "URL": "https://x.test",
    "Encoder": "Enc",
    "Publisher": "Pub",
    "LeftVolume": "100",
    "RightVolume": "100",
    "Time": "00:02"
}
)json"));
    EXPECT_EQ(audio.seekTime(), 2500);
}

}  // namespace

namespace {

TEST(AudioDataFile, WavInfoTagsFillWhatTheId3v2TagLeavesEmpty) {
    const struct {
        const char* name;
        QList<QPair<const char*, const char*>> info;  // RIFF INFO fields
        QList<QPair<const char*, const char*>> id3;   // ID3v2 properties
        QStringList expected;  // Title, Artist, Album, Year, Comment, TrackNum, Genre, Copyright, Encoder
    } cases[] = {
        {"INFO list only",
         {{"INAM", "Caf\xc3\xa9"},
          {"IART", "Artist"},
          {"IPRD", "Album"},
          {"ICMT", "Comment"},
          {"ICRD", "2024-05-01"},
          {"IGNR", "Genre"},
          {"ITRK", "7"},
          {"ICOP", "(c)"},
          {"ISFT", "Enc"}},
         {},
         {"Caf\u00e9", "Artist", "Album", "2024", "Comment", "7", "Genre", "(c)", "Enc"}},
        {"both: ID3v2 first, INFO for the rest",
         {{"INAM", "Info title"}, {"IART", "Info artist"}, {"IPRT", "3"}},
         {{"TITLE", "Id3 title"}, {"DATE", "1999"}},
         {"Id3 title", "Info artist", "", "1999", "", "3", "", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString file = dir.filePath("tagged.wav");
        kftest::writeSineWav(file, 0.5, 440);
        {
            TagLib::RIFF::WAV::File wav(QFile::encodeName(file).constData());
            for (const auto& f : c.info) {
                wav.InfoTag()->setFieldText(f.first, TagLib::String(f.second, TagLib::String::UTF8));
            }
            TagLib::PropertyMap tags;
            for (const auto& f : c.id3) {
                tags.insert(f.first, TagLib::String(f.second, TagLib::String::UTF8));
            }
            wav.tag()->setProperties(tags);
            ASSERT_TRUE(wav.save(TagLib::RIFF::WAV::File::AllTags));
        }
        kftest::ClockedPlayer clocked;
        AudioData audio(std::move(clocked.player));
        audio.SetSource(file);
        const QJsonObject info = QJsonDocument::fromJson(audio.musicInfo().toUtf8()).object();
        QStringList got;
        for (const char* key :
             {"Title", "Artist", "Album", "Year", "Comment", "TrackNum", "Genre", "Copyright", "Encoder"}) {
            got << info.value(key).toString();
        }
        EXPECT_EQ(got.join(" | ").toStdString(), c.expected.join(" | ").toStdString());
    }
}

}  // namespace
